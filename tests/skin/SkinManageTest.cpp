#include "skin/TSkinManage.h"

#include "SkinPaintSupport.h"
#include "platform/ErrorReport.h"
#include "skin/SkinStyle.h"
#include "skin/TSkinData.h"
#include "skin/TWinSkinForm.h"
#include "skin/TWinSkinPopMenu.h"
#include "support/Pump.h"

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QInputDialog>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

using namespace skintest;

// Stand-ins for the program's forms: their class names are what the manager sees.
class TTestForm : public QWidget {
    Q_OBJECT
public:
    TTestForm() {
        Button = new QPushButton(this);
        // A focused button shows the skin's default frame; these tests look at the normal one.
        Button->setFocusPolicy(Qt::NoFocus);
        Button->setGeometry(10, 10, 80, 30);
        resize(200, 120);
    }
    QPushButton* Button;
};

class TTestDialog : public QDialog {
    Q_OBJECT
public:
    TTestDialog() { resize(150, 100); }
};

// Windows of other kinds, named as the class filter knows them.
#define SKIN_TEST_WINDOW(Name)                                                                     \
    class Name : public QWidget {                                                                  \
        Q_OBJECT                                                                                   \
    public:                                                                                        \
        Name() { resize(100, 80); }                                                                \
    };
SKIN_TEST_WINDOW(TApplication)
SKIN_TEST_WINDOW(TQRStandardPreview)
SKIN_TEST_WINDOW(SysMonthCal32)
SKIN_TEST_WINDOW(TppPrintPreview)
SKIN_TEST_WINDOW(TfrDesigner)
SKIN_TEST_WINDOW(TfxPreview)

namespace {

QImage Grab(QWidget& widget) {
    return widget.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

class SkinManageTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(temp_.isValid());
        oldTmp_ = qgetenv("TMPDIR");
        qputenv("TMPDIR", temp_.path().toLocal8Bit());
        oldBox_ = TSkinData::SetMessageBox([](const std::string&) {});
    }
    void TearDown() override {
        TSkinData::SetMessageBox(oldBox_);
        qputenv("TMPDIR", oldTmp_);
    }

    static TSkinManage& Manager() { return TSkinManage::Instance(); }

    // A component as a form's stored description makes it: Active, the test skin, Loaded.
    std::unique_ptr<TSkinData> MakeSkin(QWidget* owner, TSkinFormtype type = sfMainform,
                                        bool withSkin = true) {
        auto skin = std::make_unique<TSkinData>(owner);
        skin->SetSkinFormtype(type);
        skin->SetActive(true);
        if (withSkin)
            skin->ReadSkinStream(TestSkinStream());
        skin->Loaded();
        return skin;
    }

    // Shows and activates a window and waits for the manager to have seen the activation.
    static void Activate(QWidget& window) {
        window.show();
        window.activateWindow();
        QApplication::setActiveWindow(&window);
        ASSERT_TRUE(PumpUntil([&] { return window.isActiveWindow(); }));
        ASSERT_TRUE(Manager().Activated());
    }

    static bool Skinned(QWidget& widget) {
        return dynamic_cast<const SkinStyle*>(widget.style()) != nullptr;
    }

    // Waits for the apply message of a wrapped window.
    static bool WaitApplied(QWidget& window) {
        return PumpUntil([&] {
            TWinSkinForm* painter = Manager().FormPainter(&window);
            return painter && painter->Applied();
        });
    }

    // Waits for the running command timer to carry out the last command.
    static bool WaitCommandCarriedOut() {
        return Manager().CommandTimer().isActive() &&
               PumpUntil([] { return !Manager().CommandTimer().isActive(); });
    }

    // Each test starts with a manager that has seen no window and no command.
    TSkinManage manager_;
    QTemporaryDir temp_;
    QByteArray oldTmp_;
    TSkinMessageBox oldBox_;
};

TEST_F(SkinManageTest, BeforeTheFirstActivationCommandsOnlySwitchSkinningOn) {
    TTestForm form;
    form.resize(200, 100);
    auto skin = MakeSkin(&form);
    ASSERT_FALSE(skin->NoSkin());
    EXPECT_FALSE(Manager().Activated());
    // Loaded gave command 1: on at once, no sweep, no timer.
    EXPECT_TRUE(Manager().SkinningOn());
    EXPECT_EQ(Manager().PendingCommand(), 1);
    EXPECT_FALSE(Manager().CommandTimer().isActive());
    EXPECT_EQ(Manager().WrappedWindowCount(), 0u);

    Manager().Command(2);
    EXPECT_FALSE(Manager().SkinningOn());
    Manager().Command(3);
    EXPECT_FALSE(Manager().SkinningOn());
    EXPECT_FALSE(Manager().CommandTimer().isActive());
    EXPECT_EQ(Manager().PendingCommand(), 3);
    Manager().Command(1);
    EXPECT_TRUE(Manager().SkinningOn());
    EXPECT_EQ(Manager().WrappedWindowCount(), 0u);
}

TEST_F(SkinManageTest, ActivationWrapsAndTheApplyMessagePaintsTheWindow) {
    TTestForm form;
    auto skin = MakeSkin(&form);
    const QImage before = Grab(*form.Button);
    Activate(form);
    TWinSkinForm* painter = Manager().FormPainter(&form);
    ASSERT_NE(painter, nullptr);
    EXPECT_EQ(painter->Skin(), skin.get());
    EXPECT_EQ(painter->Form(), &form);
    ASSERT_TRUE(WaitApplied(form));
    EXPECT_TRUE(Skinned(form));
    EXPECT_TRUE(Skinned(*form.Button));
    EXPECT_EQ(form.palette().color(QPalette::Window), kButtonFace);
    const QImage skinned = Grab(*form.Button);
    EXPECT_NE(skinned, before);
    EXPECT_EQ(QColor(skinned.pixel(0, 0)), EdgeColour(kButton, 0));
    EXPECT_EQ(QColor(skinned.pixel(40, 15)), CentreColour(kButton, 0));

    // A control added later is skinned when it is polished.
    auto* late = new QPushButton(&form);
    late->show();
    EXPECT_TRUE(Skinned(*late));

    // Controls tagged with DisableTag (99) keep the normal look, with what they hold.
    auto* reserved = new QWidget(&form);
    reserved->setProperty("Tag", skin->DisableTag());
    auto* inside = new QPushButton(reserved);
    reserved->show();
    inside->show();
    EXPECT_FALSE(Skinned(*reserved));
    EXPECT_FALSE(Skinned(*inside));
}

TEST_F(SkinManageTest, AWindowIsOfferedWhenItAppearsEvenWithoutActivation) {
    TTestForm main;
    auto skin = MakeSkin(&main);
    TTestForm form;
    form.setAttribute(Qt::WA_ShowWithoutActivating);
    form.show();
    EXPECT_FALSE(Manager().Activated());
    EXPECT_NE(Manager().FormPainter(&form), nullptr);
    // Hidden and shown again: still one painter.
    form.hide();
    form.show();
    EXPECT_EQ(Manager().WrappedWindowCount(), 1u);
}

TEST_F(SkinManageTest, TheWrapPostsTheApplyMessage) {
    TTestForm form;
    auto skin = MakeSkin(&form);
    ASSERT_TRUE(Manager().OfferWindow(&form));
    TWinSkinForm* painter = Manager().FormPainter(&form);
    ASSERT_NE(painter, nullptr);
    EXPECT_FALSE(painter->Applied());
    EXPECT_FALSE(Skinned(form));
    // Offered again while wrapped: refused.
    EXPECT_FALSE(Manager().OfferWindow(&form));
    QCoreApplication::sendPostedEvents(&form, TSkinApplyEvent::kType);
    EXPECT_TRUE(painter->Applied());
    EXPECT_TRUE(Skinned(*form.Button));
}

TEST_F(SkinManageTest, AfterActivationCommandsRunFromTheTimer) {
    TTestForm form;
    auto skin = MakeSkin(&form);
    Activate(form);
    ASSERT_TRUE(WaitApplied(form));
    const QImage skinned = Grab(*form.Button);

    QElapsedTimer clock;
    clock.start();
    skin->SetActive(false);
    EXPECT_EQ(Manager().PendingCommand(), 2);
    EXPECT_TRUE(Manager().SkinningOn());
    EXPECT_TRUE(Manager().CommandTimer().isActive());
    EXPECT_TRUE(Manager().CommandTimer().isSingleShot());
    EXPECT_EQ(Manager().CommandTimer().interval(), 250);
    ASSERT_TRUE(PumpUntil([] { return !Manager().SkinningOn(); }));
    EXPECT_GE(clock.elapsed(), 200);
    EXPECT_FALSE(Manager().CommandTimer().isActive());
    EXPECT_EQ(Manager().WrappedWindowCount(), 0u);
    EXPECT_FALSE(Skinned(form));
    EXPECT_FALSE(Skinned(*form.Button));

    // Apply again: the sweep wraps every form, shown or not, without an activation.
    TTestForm hidden;
    skin->SetActive(true);
    EXPECT_FALSE(Manager().SkinningOn());
    ASSERT_TRUE(PumpUntil([] { return Manager().SkinningOn(); }));
    EXPECT_NE(Manager().FormPainter(&form), nullptr);
    EXPECT_NE(Manager().FormPainter(&hidden), nullptr);
    ASSERT_TRUE(WaitApplied(form));
    EXPECT_EQ(Grab(*form.Button), skinned);
}

TEST_F(SkinManageTest, RemovingTheSkinGivesBackTheNormalLook) {
    TTestForm form;
    QPalette own = form.Button->palette();
    own.setColor(QPalette::ButtonText, Qt::darkGreen);
    form.Button->setPalette(own);
    form.Button->setText(QStringLiteral("OK"));
    auto skin = MakeSkin(&form);
    form.show();
    const QImage before = Grab(form);
    Activate(form);
    ASSERT_TRUE(WaitApplied(form));
    EXPECT_NE(Grab(form), before);

    Manager().Command(2);
    ASSERT_TRUE(WaitCommandCarriedOut());
    EXPECT_EQ(Grab(form), before);
    EXPECT_FALSE(form.testAttribute(Qt::WA_SetPalette));
    EXPECT_EQ(form.Button->palette().color(QPalette::ButtonText), QColor(Qt::darkGreen));
}

TEST_F(SkinManageTest, WindowsTheTestsRefuse) {
    TTestForm main;
    auto skin = MakeSkin(&main);
    ASSERT_TRUE(Manager().SkinningOn());

    TTestForm tagged;
    tagged.setProperty("Tag", 99);
    EXPECT_FALSE(Manager().OfferWindow(&tagged));
    Activate(tagged);
    EXPECT_EQ(Manager().FormPainter(&tagged), nullptr);
    ASSERT_TRUE(PumpUntil([] { return true; }));
    EXPECT_FALSE(Skinned(*tagged.Button));

    TTestForm otherTag;
    otherTag.setProperty("Tag", 98);
    EXPECT_TRUE(Manager().OfferWindow(&otherTag));

    // A plain child window only through the sweep.
    EXPECT_FALSE(Manager().OfferWindow(main.Button));
    // A window without an area.
    TTestForm empty;
    empty.resize(0, 50);
    EXPECT_FALSE(Manager().OfferWindow(&empty));
    // MDI children pass.
    QMdiArea area;
    QMdiSubWindow* sub = area.addSubWindow(new QWidget);
    sub->resize(100, 80);
    EXPECT_TRUE(Manager().OfferWindow(sub));

    // Skinning off: nothing is wrapped.
    Manager().Command(2);
    ASSERT_TRUE(WaitCommandCarriedOut());
    TTestForm late;
    EXPECT_FALSE(Manager().OfferWindow(&late));
}

TEST_F(SkinManageTest, ClassesNeverSkinned) {
    TTestForm main;
    auto skin = MakeSkin(&main);
    std::vector<std::string> asked;
    skin->OnFormSkin = [&](TSkinData*, const std::string& name, bool&) { asked.push_back(name); };
    TApplication application;
    TQRStandardPreview preview;
    SysMonthCal32 calendar;
    TppPrintPreview printPreview;
    TfrDesigner designer;
    TfxPreview other;
    struct Case {
        QWidget* window;
        bool withFastReport;
        bool wrapped;
    } const cases[] = {
        {&application, false, false},  {&preview, false, false}, {&calendar, false, false},
        {&printPreview, false, false}, {&designer, false, true}, {&designer, true, false},
        {&other, true, true},
    };
    for (const Case& c : cases) {
        // A manager of its own for each case, so that a window wrapped before is offered afresh.
        TSkinManage manager;
        manager.Register(skin.get());
        manager.Command(1);
        TSkinControls controls = DefaultSkinControls();
        if (c.withFastReport)
            controls.insert(xcFastReport);
        skin->SetSkinControls(controls);
        EXPECT_EQ(manager.OfferWindow(c.window), c.wrapped)
            << TSkinManage::WindowClassName(c.window) << " " << c.withFastReport;
    }
    // Refused classes never reach the handler.
    EXPECT_EQ(asked, (std::vector<std::string>{"TfrDesigner", "TfxPreview"}));
}

TEST_F(SkinManageTest, OnFormSkinDecidesPerClass) {
    TTestForm main;
    auto skin = MakeSkin(&main);
    std::vector<std::string> asked;
    skin->OnFormSkin = [&](TSkinData* sender, const std::string& name, bool& doSkin) {
        EXPECT_EQ(sender, skin.get());
        EXPECT_TRUE(doSkin);
        asked.push_back(name);
        if (name == "TTestForm")
            doSkin = false;
    };
    TTestForm form;
    Activate(form);
    EXPECT_EQ(Manager().FormPainter(&form), nullptr);
    TTestForm another;
    EXPECT_FALSE(Manager().OfferWindow(&another));
    TTestDialog dialog;
    EXPECT_TRUE(Manager().OfferWindow(&dialog));
    // The form is asked when it appears and when it is activated, the other form once.
    EXPECT_EQ(asked,
              (std::vector<std::string>{"TTestForm", "TTestForm", "TTestForm", "TTestDialog"}));

    // The class filter of a component that also skins report designers.
    skin->OnFormSkin = nullptr;
    QWidget reportDesigner;
    reportDesigner.setObjectName(QStringLiteral("plain"));
    TSkinControls controls = skin->SkinControls();
    controls.insert(xcFastReport);
    skin->SetSkinControls(controls);
    EXPECT_TRUE(Manager().OfferWindow(&reportDesigner)); // "QWidget" does not begin with "Tfr"
}

TEST_F(SkinManageTest, DialogsAndMessageBoxesTakeTheDialogComponent) {
    TTestForm main;
    auto mainSkin = MakeSkin(&main, sfMainform);
    QMessageBox box(QMessageBox::Information, QStringLiteral("t"), QStringLiteral("text"));
    QInputDialog input;
    TTestDialog settings;
    // Only the main form's component: every window takes it.
    ASSERT_TRUE(Manager().OfferWindow(&box));
    EXPECT_EQ(Manager().FormPainter(&box)->Skin(), mainSkin.get());

    // Two more components, with a manager that has wrapped no window yet.
    auto manager = std::make_unique<TSkinManage>();
    manager->Register(mainSkin.get());
    manager->Command(1);
    auto dialogSkin = MakeSkin(nullptr, sfDialog);
    TTestDialog own;
    auto ownSkin = MakeSkin(&own, sfOnlyThisForm);
    struct Case {
        QWidget* window;
        TSkinData* expected;
    } const cases[] = {{&box, dialogSkin.get()},
                       {&input, dialogSkin.get()},
                       {&settings, mainSkin.get()},
                       {&main, mainSkin.get()},
                       {&own, ownSkin.get()}};
    for (const Case& c : cases) {
        ASSERT_TRUE(Manager().OfferWindow(c.window)) << TSkinManage::WindowClassName(c.window);
        EXPECT_EQ(Manager().FormPainter(c.window)->Skin(), c.expected)
            << TSkinManage::WindowClassName(c.window);
    }

    // A message box shown the usual way is wrapped when it is activated, with the dialog's skin
    // (again by a manager that has wrapped nothing yet).
    manager = std::make_unique<TSkinManage>();
    for (TSkinData* skin : {mainSkin.get(), dialogSkin.get(), ownSkin.get()})
        manager->Register(skin);
    manager->Command(1);
    QMessageBox shown(QMessageBox::Warning, QStringLiteral("t"), QStringLiteral("text"));
    shown.open();
    Activate(shown);
    ASSERT_TRUE(WaitApplied(shown));
    EXPECT_EQ(Manager().FormPainter(&shown)->Skin(), dialogSkin.get());
    for (QPushButton* button : shown.findChildren<QPushButton*>())
        EXPECT_TRUE(Skinned(*button));
    shown.close();
}

TEST_F(SkinManageTest, TheChosenComponentMustHoldASkin) {
    TTestForm main;
    auto empty = MakeSkin(&main, sfMainform, false);
    EXPECT_TRUE(empty->NoSkin());
    Manager().Command(1);
    TTestForm form;
    EXPECT_FALSE(Manager().OfferWindow(&form));
    QMenu menu;
    EXPECT_FALSE(Manager().WrapMenu(&menu));
}

TEST_F(SkinManageTest, ClassNamesSeenByTheTests) {
    QMessageBox box;
    QInputDialog input;
    QDialog plainDialog;
    TTestDialog ownDialog;
    TTestForm form;
    QMenu menu;
    QScrollBar bar;
    QMdiArea area;
    QWidget plain;
    const std::pair<QWidget*, std::string> cases[] = {
        {&box, "TMessageForm"},      {&input, "#32770"},   {&plainDialog, "#32770"},
        {&ownDialog, "TTestDialog"}, {&form, "TTestForm"}, {&menu, "#32768"},
        {&bar, "ScrollBar"},         {&area, "MDIClient"}, {area.viewport(), "MDIClient"},
        {&plain, "QWidget"},
    };
    for (const auto& [widget, name] : cases)
        EXPECT_EQ(TSkinManage::WindowClassName(widget), name);
}

TEST_F(SkinManageTest, PopupMenusAreWrappedWhenTheyAppear) {
    TTestForm main;
    auto skin = MakeSkin(&main);
    auto menu = std::make_unique<QMenu>();
    menu->addAction(QStringLiteral("one"));
    menu->popup(QPoint(20, 20));
    TWinSkinPopMenu* painter = Manager().MenuPainter(menu.get());
    ASSERT_NE(painter, nullptr);
    EXPECT_EQ(painter->Skin(), skin.get());
    EXPECT_TRUE(Skinned(*menu));
    const QImage image = Grab(*menu);
    EXPECT_EQ(QColor(image.pixel(1, 1)), EdgeColour(kMenuBackground, 0));
    menu->hide();

    // Destroyed: unwrapped.
    menu.reset();
    EXPECT_EQ(Manager().WrappedMenuCount(), 0u);

    // Skinning off: a menu keeps the normal look.
    Manager().Command(2);
    QMenu plain;
    plain.addAction(QStringLiteral("two"));
    plain.popup(QPoint(20, 20));
    EXPECT_EQ(Manager().MenuPainter(&plain), nullptr);
    EXPECT_FALSE(Skinned(plain));
    plain.hide();
}

TEST_F(SkinManageTest, DestroyedWindowsAreUnwrapped) {
    TTestForm main;
    auto skin = MakeSkin(&main);
    auto form = std::make_unique<TTestForm>();
    Activate(*form);
    ASSERT_TRUE(WaitApplied(*form));
    ASSERT_EQ(Manager().WrappedWindowCount(), 1u);
    form.reset();
    EXPECT_EQ(Manager().WrappedWindowCount(), 0u);

    // Destroyed before its apply message arrived.
    auto quick = std::make_unique<TTestForm>();
    ASSERT_TRUE(Manager().OfferWindow(quick.get()));
    quick.reset();
    EXPECT_EQ(Manager().WrappedWindowCount(), 0u);
    QCoreApplication::processEvents();
}

TEST_F(SkinManageTest, ReapplyRefreshesThePaintersAndRaisesOnSkinChanged) {
    TTestForm form;
    auto skin = MakeSkin(&form);
    int changed = 0;
    skin->OnSkinChanged = [&](TSkinData* sender) {
        EXPECT_EQ(sender, skin.get());
        ++changed;
    };
    Activate(form);
    ASSERT_TRUE(WaitApplied(form));
    const QStyle* first = form.Button->style();

    Manager().SetReapplyRequester(skin.get());
    Manager().Command(3);
    EXPECT_EQ(changed, 0);
    ASSERT_TRUE(PumpUntil([&] { return changed == 1; }));
    EXPECT_NE(form.Button->style(), first);
    EXPECT_TRUE(Skinned(*form.Button));
    EXPECT_EQ(QColor(Grab(*form.Button).pixel(0, 0)), EdgeColour(kButton, 0));

    // The requester is forgotten once told.
    Manager().Command(3);
    ASSERT_TRUE(WaitCommandCarriedOut());
    EXPECT_EQ(changed, 1);
}

TEST_F(SkinManageTest, UnregisteringAComponentUnwrapsItsWindows) {
    TTestForm form;
    auto skin = MakeSkin(&form);
    Activate(form);
    ASSERT_TRUE(WaitApplied(form));
    skin.reset();
    EXPECT_EQ(Manager().WrappedWindowCount(), 0u);
    EXPECT_FALSE(Skinned(*form.Button));
}

} // namespace

#include "SkinManageTest.moc"
