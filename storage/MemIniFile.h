#pragma once

#include "storage/CustomIniFile.h"
#include "storage/HashedStringList.h"

#include <string>
#include <string_view>
#include <vector>

// The in-memory INI document. Construction reads the whole file at the path and parses it;
// reads and writes then work on the model only, and Save writes the whole model back. The file
// is never touched in between, and destruction never writes.
//
// The model: SectionList holds one entry per section in document order (the name, trimmed when
// it came from the file, as passed when a write created it), whose attached object is that
// section's line list (a THashedStringList owned by the document). A stored line is either a key
// line "name=value" or a raw line without "=". Sections and keys are found without regard to ASCII
// letter case (GBK-aware), and with duplicates the last one is found.
//
// The text dialect:
//   lines end at CR LF, LF or CR; a NUL byte ends the content; each line is trimmed of blank
//   bytes (0x00..0x20); empty lines and lines starting with ";" are skipped; "[...]" (first and
//   last byte) opens a section named by the trimmed inside; lines before the first header are
//   dropped; a line with "=" is stored as trimmed name + "=" + trimmed value, any other line as a
//   raw line. Save writes each section as "[name]", its lines as stored and one empty line, every
//   line followed by CR LF.
//
// Errors: a missing file, an empty path or a directory at the path give an empty document; a
// file that exists but cannot be read raises EFOpenError. Save raises EFCreateError or
// EWriteError (storage/FileContent.h) and then leaves both the file and the document as they
// were.
class TMemIniFile : public TCustomIniFile {
public:
    explicit TMemIniFile(const std::string& path);
    ~TMemIniFile() override;

    std::string GetStr(const std::string& section, const std::string& key,
                       const std::string& fallback) const override;
    void PutStr(const std::string& section, const std::string& key,
                const std::string& value) override;
    void GetKeyNames(const std::string& section, TStringList& target) const override;
    void GetSectionNames(TStringList& target) const override;
    void GetSectionLines(const std::string& section, TStringList& target) const override;
    void RemoveSection(const std::string& section) override;
    void RemoveKey(const std::string& section, const std::string& key) override;
    void Save() override;

    // Empties the document.
    void Clear();
    // Replaces the model with the one parsed from `text` (as loading does for the file content).
    void SetText(std::string_view text);
    // The exact bytes Save writes.
    std::string Text() const;

    const THashedStringList& SectionList() const { return sectionList_; }

    // The steps of loading and saving, pure functions over bytes.
    // The lines of a buffer (views into it), ending at CR LF, LF, CR; stops at the first NUL.
    static std::vector<std::string_view> SplitText(std::string_view buffer);
    // Appends the sections and lines parsed from `lines` to the model.
    void ParseLines(const std::vector<std::string_view>& lines);
    // The lines Save writes, before line ends are added.
    std::vector<std::string> RenderLines() const;
    // Every line followed by CR LF, in one buffer sized beforehand.
    static std::string JoinText(const std::vector<std::string>& lines);

private:
    // Parsing one line at a time: the section being filled, and its lines not yet handed to it
    // (they go in at once, so that its list is sized once).
    struct ParseState {
        THashedStringList* current = nullptr;
        std::vector<std::string> pending;
    };
    void ParseLine(std::string_view raw, ParseState& state);
    static void FlushLines(ParseState& state);
    // SplitText and ParseLines in one pass, without the list of lines.
    void ParseText(std::string_view buffer);

    void LoadFile();
    THashedStringList* AppendSection(std::string name);
    THashedStringList* Lines(int section) const;
    // The line list of the last section named `section`, or nullptr.
    THashedStringList* FindSection(const std::string& section) const;

    THashedStringList sectionList_;
    // The section the last lookup found, by its name as asked: reading a section key by key asks
    // for the same one again and again. Forgotten on every change to the section list.
    mutable std::string lastName_;
    mutable int lastIndex_ = -1;
};
