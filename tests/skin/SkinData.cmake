# LZHUF, the skin package and its reader: pure functions, no display needed.
sm_test(skin_package_tests MAIN plain
    SOURCES
        LzhufTest.cpp
        SkinPackageTest.cpp
    LIBS
        skin
)

# The fuzz target's body over its stored corpus, so CI replays every input found so far.
sm_test(skin_package_corpus_tests MAIN plain
    SOURCES
        SkinPackageCorpusTest.cpp
        ${PROJECT_SOURCE_DIR}/fuzz/skin/SkinPackageFuzzBody.cpp
    LIBS
        skin
)
target_include_directories(skin_package_corpus_tests PRIVATE ${PROJECT_SOURCE_DIR}/fuzz/skin)
target_compile_definitions(skin_package_corpus_tests PRIVATE
    SKIN_FUZZ_CORPUS_DIR="${PROJECT_SOURCE_DIR}/fuzz/skin/corpus")

# The description reader and the skin component need a GUI application (images, manager).
sm_test(skin_data_tests MAIN gui
    SOURCES
        SkinDescriptionTest.cpp
        TSkinDataTest.cpp
    LIBS
        skin
        skin_assets
)
