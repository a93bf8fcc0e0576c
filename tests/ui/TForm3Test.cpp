#include "ui/TForm3.h"
#include "platform/ErrorReport.h"
#include "platform/Exception.h"
#include "platform/qt/QtText.h"
#include "support/ScopedSeam.h"
#include "support/TempDir.h"
#include "ui/SettingsHost.h"

#include <QCheckBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

// The main window as the dialog sees it: records the calls in order; the rebuild can be made
// to fail.
class FakeHost : public SettingsHost {
public:
    std::vector<std::string> calls;
    bool failReload = false;

    void StopCycleTimer() override { calls.push_back("stop"); }
    void StartCycleTimer(int ms) override { calls.push_back("start " + std::to_string(ms)); }
    void ReloadServers() override {
        calls.push_back("reload");
        if (failReload)
            throw Exception("Cannot open file ./servers.ini");
    }
};

// Runs each test in a fresh working directory, with the messages and error reports recorded.
// A message records the text and the widget that had the focus when it was shown.
class DialogTest : public testing::Test {
protected:
    void TearDown() override { form_.reset(); }

    static void WriteIni(const std::string& bytes) {
        std::ofstream(TForm3::kServersPath, std::ios::binary) << bytes;
    }

    static std::string ReadIni() {
        std::ifstream in(TForm3::kServersPath, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }

    TForm3& Open() {
        form_ = std::make_unique<TForm3>(host, nullptr);
        form_->show();
        return *form_;
    }

    std::vector<std::string> Entries() const {
        std::vector<std::string> names;
        for (int i = 0; i < form_->ListBox1->count(); ++i)
            names.push_back(QStringToGbk(form_->ListBox1->item(i)->text()));
        return names;
    }

    void Select(int row) {
        form_->ListBox1->setCurrentRow(row);
        ASSERT_EQ(form_->ListBox1->currentRow(), row);
    }

    void Fill(const std::string& name, const std::string& ip, const std::string& port) {
        form_->Edit1->setText(GbkToQString(name));
        form_->Edit2->setText(GbkToQString(ip));
        form_->Edit3->setText(GbkToQString(port));
    }

    static std::string Text(const QLineEdit* edit) { return QStringToGbk(edit->text()); }

    FakeHost host;
    std::vector<std::string> messages;
    std::vector<std::string> reports;

private:
    TempDir dir_;
    WorkingDirectory inDir_{dir_.path()};
    ScopedSeam messageSeam_{TForm3::SetMessageHook,
                            [this](const std::string& m) { messages.push_back(m); }};
    ScopedSeam reportSeam_{SetErrorReportHandler,
                           [this](const std::string& m) { reports.push_back(m); }};
    std::unique_ptr<TForm3> form_;
};

struct ControlCase {
    const char* name;
    QRect geometry;
    const char* text; // GBK; nullptr for controls without a caption
    bool inGroupBox;
};

TEST_F(DialogTest, ControlsHaveTheirNamesPlacesAndTexts) {
    TForm3& f = Open();
    EXPECT_EQ(f.windowTitle(), GbkToQString("添加服务器"));
    EXPECT_EQ(f.size(), QSize(231, 385));
    EXPECT_EQ(f.minimumSize(), f.maximumSize());
    EXPECT_FALSE(f.windowFlags().testFlag(Qt::WindowMinimizeButtonHint));
    EXPECT_FALSE(f.windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
    EXPECT_TRUE(f.windowFlags().testFlag(Qt::WindowCloseButtonHint));
    EXPECT_EQ(f.font().family(), GbkToQString("宋体"));
    EXPECT_EQ(f.font().pixelSize(), 12);

    const ControlCase controls[] = {
        {"ListBox1", {0, 0, 231, 113}, nullptr, false},
        {"BitBtn1", {8, 120, 57, 25}, "删除", false},
        {"GroupBox1", {8, 152, 217, 193}, "添加监视服务器", false},
        {"Label1", {8, 24, 60, 12}, "服务器名称", true},
        {"Edit1", {72, 20, 137, 20}, "", true},
        {"Label2", {8, 48, 48, 12}, "服务器IP", true},
        {"Edit2", {72, 44, 137, 20}, "", true},
        {"Label3", {8, 72, 60, 12}, "服务器端口", true},
        {"Edit3", {72, 68, 137, 20}, "", true},
        {"CheckBox1", {8, 96, 161, 17}, "发生故障报警声音提示", true},
        {"CheckBox2", {8, 128, 193, 17}, "故障发短信给管理员(需硬件)", true},
        {"BitBtn4", {56, 160, 75, 25}, "添加/修改", true},
        {"BitBtn5", {136, 160, 75, 25}, "清空", true},
        {"BitBtn2", {144, 352, 75, 25}, "关闭", false},
    };
    for (const ControlCase& c : controls) {
        SCOPED_TRACE(c.name);
        auto* w = f.findChild<QWidget*>(QString::fromLatin1(c.name));
        ASSERT_NE(w, nullptr);
        EXPECT_EQ(w->geometry(), c.geometry);
        EXPECT_EQ(w->parentWidget(), c.inGroupBox ? static_cast<QWidget*>(f.GroupBox1) : &f);
        if (!c.text)
            continue;
        QString text;
        if (auto* b = qobject_cast<QAbstractButton*>(w))
            text = b->text();
        else if (auto* l = qobject_cast<QLabel*>(w))
            text = l->text();
        else if (auto* e = qobject_cast<QLineEdit*>(w))
            text = e->text();
        else if (auto* g = qobject_cast<QGroupBox*>(w))
            text = g->title();
        EXPECT_EQ(text, GbkToQString(c.text));
    }
    EXPECT_TRUE(f.CheckBox1->isChecked());
    EXPECT_FALSE(f.CheckBox2->isChecked());
    EXPECT_EQ(f.ListBox1->palette().color(QPalette::Base), QColor(189, 198, 28));
    EXPECT_EQ(f.ListBox1->selectionMode(), QAbstractItemView::SingleSelection);
    for (QPushButton* b : f.findChildren<QPushButton*>()) {
        EXPECT_FALSE(b->isDefault()) << b->objectName().toStdString();
        EXPECT_FALSE(b->autoDefault()) << b->objectName().toStdString();
    }
}

TEST_F(DialogTest, TabWalksTheControlsInTheirFocusOrder) {
    TForm3& f = Open();
    std::vector<std::string> order;
    QWidget* w = f.ListBox1;
    do {
        if (w->focusPolicy() & Qt::TabFocus)
            order.push_back(w->objectName().toStdString());
        w = w->nextInFocusChain();
    } while (w != f.ListBox1 && order.size() < 20);
    EXPECT_EQ(order, (std::vector<std::string>{"ListBox1", "BitBtn1", "Edit1", "Edit2", "Edit3",
                                               "CheckBox1", "BitBtn4", "BitBtn5", "CheckBox2",
                                               "BitBtn2"}));
}

TEST_F(DialogTest, CreationStopsTheCycleAndListsTheSectionsInFileOrder) {
    WriteIni("[Zeta]\r\nIP=1.1.1.1\r\n[alpha]\r\n[网站]\r\nPort=80\r\n");
    TForm3& f = Open();
    EXPECT_EQ(host.calls, (std::vector<std::string>{"stop"}));
    EXPECT_EQ(Entries(), (std::vector<std::string>{"Zeta", "alpha", "网站"}));
    EXPECT_EQ(f.ListBox1->selectedItems().size(), 0);
    EXPECT_TRUE(reports.empty());
}

TEST_F(DialogTest, MissingFileGivesAnEmptyListAndTheFirstStoreCreatesIt) {
    TForm3& f = Open();
    EXPECT_TRUE(Entries().empty());
    Fill("A", "127.0.0.1", "80");
    f.BitBtn4->click();
    EXPECT_EQ(ReadIni(), "[A]\r\nIP=127.0.0.1\r\nPort=80\r\nSoundAlert=1\r\nSMSAlert=0\r\n\r\n");
    EXPECT_EQ(Entries(), (std::vector<std::string>{"A"}));
}

TEST_F(DialogTest, SelectingAServerLoadsItIntoTheFields) {
    WriteIni("[Web]\r\nIP=10.0.0.5\r\nPort=0x1F90\r\nSoundAlert=0\r\nSMSAlert=1\r\n"
             "[Bare]\r\n[Odd]\r\nIP=\r\nPort=abc\r\nSoundAlert=yes\r\n");
    TForm3& f = Open();
    Select(0);
    EXPECT_EQ(Text(f.Edit1), "Web");
    EXPECT_EQ(Text(f.Edit2), "10.0.0.5");
    EXPECT_EQ(Text(f.Edit3), "0x1F90"); // the stored text, not validated
    EXPECT_FALSE(f.CheckBox1->isChecked());
    EXPECT_TRUE(f.CheckBox2->isChecked());

    Select(1); // a section without keys
    EXPECT_EQ(Text(f.Edit1), "Bare");
    EXPECT_EQ(Text(f.Edit2), "读取错误");
    EXPECT_EQ(Text(f.Edit3), "读取错误");
    EXPECT_TRUE(f.CheckBox1->isChecked());
    EXPECT_FALSE(f.CheckBox2->isChecked());

    Select(2);
    EXPECT_EQ(Text(f.Edit2), ""); // present but empty is not missing
    EXPECT_EQ(Text(f.Edit3), "abc");
    EXPECT_TRUE(f.CheckBox1->isChecked()); // "yes" is no number: fallback
    EXPECT_EQ(f.ListBox1->currentRow(), 2);
    EXPECT_TRUE(messages.empty());
}

TEST_F(DialogTest, ClickingAnEntryLoadsItAndClickingItAgainReloadsIt) {
    WriteIni("[A]\r\nIP=1.1.1.1\r\n[B]\r\nIP=2.2.2.2\r\nSMSAlert=1\r\n");
    TForm3& f = Open();
    auto click = [&](int row) {
        const QRect at = f.ListBox1->visualItemRect(f.ListBox1->item(row));
        QTest::mouseClick(f.ListBox1->viewport(), Qt::LeftButton, {}, at.center());
    };
    click(1);
    EXPECT_EQ(Text(f.Edit1), "B");
    EXPECT_EQ(Text(f.Edit2), "2.2.2.2");
    EXPECT_TRUE(f.CheckBox2->isChecked());

    f.Edit2->setText(QStringLiteral("typed"));
    click(1); // the same entry again
    EXPECT_EQ(Text(f.Edit2), "2.2.2.2");

    // Every click reads the file afresh.
    std::filesystem::remove(TForm3::kServersPath);
    std::filesystem::create_directory(TForm3::kServersPath);
    click(0);
    EXPECT_EQ(Text(f.Edit1), "A");
    EXPECT_EQ(Text(f.Edit2), "读取错误"); // the directory reads as an empty document
    EXPECT_TRUE(reports.empty());

    QTest::keyClick(f.ListBox1, Qt::Key_Down);
    EXPECT_EQ(Text(f.Edit1), "B");
}

TEST_F(DialogTest, StoringTheSelectedServerUnchangedRewritesThePortInDecimal) {
    WriteIni("[Web]\r\nIP=10.0.0.5\r\nPort=0x1F90\r\nSoundAlert=0\r\nSMSAlert=1\r\n");
    TForm3& f = Open();
    Select(0);
    f.BitBtn4->click();
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(ReadIni(), "[Web]\r\nIP=10.0.0.5\r\nPort=8080\r\nSoundAlert=0\r\nSMSAlert=1\r\n\r\n");
    // The fields are reset and the list refilled without selection.
    EXPECT_EQ(Text(f.Edit1), "");
    EXPECT_EQ(Text(f.Edit2), "");
    EXPECT_EQ(Text(f.Edit3), "");
    EXPECT_TRUE(f.CheckBox1->isChecked());
    EXPECT_FALSE(f.CheckBox2->isChecked());
    EXPECT_EQ(f.focusWidget(), f.Edit1);
    EXPECT_EQ(f.ListBox1->selectedItems().size(), 0);
}

TEST_F(DialogTest, ChangingTheNameAddsASecondSectionInsteadOfRenaming) {
    WriteIni("[Old]\r\nIP=1.2.3.4\r\nPort=80\r\nSoundAlert=1\r\nSMSAlert=0\r\n");
    TForm3& f = Open();
    Select(0);
    f.Edit1->setText(QStringLiteral("New"));
    f.BitBtn4->click();
    EXPECT_EQ(Entries(), (std::vector<std::string>{"Old", "New"}));
    EXPECT_EQ(ReadIni(), "[Old]\r\nIP=1.2.3.4\r\nPort=80\r\nSoundAlert=1\r\nSMSAlert=0\r\n\r\n"
                         "[New]\r\nIP=1.2.3.4\r\nPort=80\r\nSoundAlert=1\r\nSMSAlert=0\r\n\r\n");
}

TEST_F(DialogTest, ANameInAnotherLetterCaseUpdatesTheFirstStoredSection) {
    WriteIni("[Alpha]\r\nIP=1.1.1.1\r\nPort=80\r\nSoundAlert=1\r\nSMSAlert=0\r\n[Beta]\r\n");
    TForm3& f = Open();
    Fill("ALPHA", "2.2.2.2", "81");
    f.CheckBox2->setChecked(true);
    f.BitBtn4->click();
    EXPECT_EQ(Entries(), (std::vector<std::string>{"Alpha", "Beta"}));
    EXPECT_EQ(ReadIni(), "[Alpha]\r\nIP=2.2.2.2\r\nPort=81\r\nSoundAlert=1\r\nSMSAlert=1\r\n\r\n"
                         "[Beta]\r\n\r\n");
}

struct PortCase {
    const char* typed;
    const char* stored;  // the Port line's value, or nullptr when refused
    const char* message; // nullptr when accepted
};

void PrintTo(const PortCase& c, std::ostream* os) {
    *os << '"' << c.typed << '"';
}

class PortCheck : public DialogTest, public testing::WithParamInterface<PortCase> {};

TEST_P(PortCheck, PortIsCheckedBeforeAnythingIsWritten) {
    const PortCase& c = GetParam();
    TForm3& f = Open();
    Fill("S", "127.0.0.1", c.typed);
    f.BitBtn4->click();
    if (c.message) {
        EXPECT_EQ(messages, (std::vector<std::string>{c.message}));
        EXPECT_EQ(f.focusWidget(), f.Edit3);
        EXPECT_FALSE(std::filesystem::exists(TForm3::kServersPath));
        EXPECT_EQ(Text(f.Edit1), "S"); // the fields keep their contents
        EXPECT_EQ(Text(f.Edit3), c.typed);
    } else {
        EXPECT_TRUE(messages.empty());
        EXPECT_EQ(ReadIni(), std::string("[S]\r\nIP=127.0.0.1\r\nPort=") + c.stored +
                                 "\r\nSoundAlert=1\r\nSMSAlert=0\r\n\r\n");
    }
}

const char* const kNotANumber = "端口输入错误!请输入合法的数值!";
const char* const kOutOfRange = "端口输入错误!请输入合法的数值!(1-65535)";

INSTANTIATE_TEST_SUITE_P(
    Ports, PortCheck,
    testing::Values(PortCase{"80", "80", nullptr}, PortCase{" 80", "80", nullptr},
                    PortCase{"  8080", "8080", nullptr}, PortCase{"$50", "80", nullptr},
                    PortCase{"0x1F90", "8080", nullptr}, PortCase{"+443", "443", nullptr},
                    PortCase{"007", "7", nullptr}, PortCase{"1", "1", nullptr},
                    PortCase{"65535", "65535", nullptr}, PortCase{"80 ", nullptr, kNotANumber},
                    PortCase{"abc", nullptr, kNotANumber}, PortCase{"8o", nullptr, kNotANumber},
                    PortCase{"-", nullptr, kNotANumber},
                    PortCase{"99999999999", nullptr, kNotANumber},
                    PortCase{"读取错误", nullptr, kNotANumber}, PortCase{"0", nullptr, kOutOfRange},
                    PortCase{"65536", nullptr, kOutOfRange}, PortCase{"-1", nullptr, kOutOfRange},
                    PortCase{"-80", nullptr, kOutOfRange},
                    PortCase{"$FFFFFFFF", nullptr, kOutOfRange}));

TEST_F(DialogTest, AnEmptyFieldIsReportedFirstWithFocusOnTheName) {
    struct Case {
        const char *name, *ip, *port;
    };
    const Case cases[] = {
        {"", "1.1.1.1", "80"}, {"A", "", "80"}, {"A", "1.1.1.1", ""}, {"", "", "0"}};
    TForm3& f = Open();
    for (const Case& c : cases) {
        messages.clear();
        Fill(c.name, c.ip, c.port);
        f.Edit3->setFocus();
        f.BitBtn4->click();
        EXPECT_EQ(messages, (std::vector<std::string>{"请输入完整的信息！"})) << c.name << c.ip;
        EXPECT_EQ(f.focusWidget(), f.Edit1);
    }
    // Spaces fill a field: this one fails on the port instead.
    messages.clear();
    Fill(" ", " ", " ");
    f.BitBtn4->click();
    EXPECT_EQ(messages, (std::vector<std::string>{kNotANumber}));
    EXPECT_FALSE(std::filesystem::exists(TForm3::kServersPath));
}

TEST_F(DialogTest, ReadErrorTextShownForAMissingAddressIsStoredWhenSaved) {
    WriteIni("[NoIp]\r\nPort=80\r\n[NoPort]\r\nIP=1.1.1.1\r\n");
    TForm3& f = Open();
    Select(0);
    f.BitBtn4->click();
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(ReadIni(), "[NoIp]\r\nPort=80\r\nIP=读取错误\r\nSoundAlert=1\r\nSMSAlert=0\r\n\r\n"
                         "[NoPort]\r\nIP=1.1.1.1\r\n\r\n");

    Select(1);
    EXPECT_EQ(Text(f.Edit3), "读取错误");
    f.BitBtn4->click();
    EXPECT_EQ(messages, (std::vector<std::string>{kNotANumber}));
    EXPECT_EQ(f.focusWidget(), f.Edit3);
}

TEST_F(DialogTest, DeleteWithNothingSelectedDoesNothing) {
    const std::string before = "[A]\r\nIP=1.1.1.1\r\n;comment kept until the next save\r\n";
    WriteIni(before);
    TForm3& f = Open();
    f.BitBtn1->click();
    EXPECT_EQ(ReadIni(), before);
    EXPECT_EQ(Entries(), (std::vector<std::string>{"A"}));
    EXPECT_TRUE(messages.empty());
    EXPECT_TRUE(reports.empty());
}

TEST_F(DialogTest, DeleteRemovesTheSelectedSectionWithoutAskingAndKeepsTheFields) {
    WriteIni("[A]\r\nIP=1.1.1.1\r\n[B]\r\nIP=2.2.2.2\r\n[C]\r\nIP=3.3.3.3\r\n");
    TForm3& f = Open();
    Select(1);
    EXPECT_EQ(Text(f.Edit1), "B");
    f.BitBtn1->click();
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(ReadIni(), "[A]\r\nIP=1.1.1.1\r\n\r\n[C]\r\nIP=3.3.3.3\r\n\r\n");
    EXPECT_EQ(Entries(), (std::vector<std::string>{"A", "C"}));
    EXPECT_EQ(f.ListBox1->selectedItems().size(), 0);
    EXPECT_EQ(Text(f.Edit1), "B");
    EXPECT_EQ(Text(f.Edit2), "2.2.2.2");
}

TEST_F(DialogTest, SpacesAroundANameAreStoredAndTrimmedWhenReadBack) {
    TForm3& f = Open();
    Fill("  web  ", "1.1.1.1", "80");
    f.BitBtn4->click();
    EXPECT_EQ(ReadIni(),
              "[  web  ]\r\nIP=1.1.1.1\r\nPort=80\r\nSoundAlert=1\r\nSMSAlert=0\r\n\r\n");
    EXPECT_EQ(Entries(), (std::vector<std::string>{"web"}));
}

TEST_F(DialogTest, ClearResetsTheFieldsButNotTheList) {
    WriteIni("[A]\r\nIP=1.1.1.1\r\nSoundAlert=0\r\nSMSAlert=1\r\n");
    TForm3& f = Open();
    Select(0);
    f.BitBtn5->click();
    EXPECT_EQ(Text(f.Edit1), "");
    EXPECT_EQ(Text(f.Edit2), "");
    EXPECT_EQ(Text(f.Edit3), "");
    EXPECT_TRUE(f.CheckBox1->isChecked());
    EXPECT_FALSE(f.CheckBox2->isChecked());
    EXPECT_EQ(f.focusWidget(), f.Edit1);
    EXPECT_EQ(f.ListBox1->currentRow(), 0);
    EXPECT_TRUE(f.ListBox1->item(0)->isSelected());
}

TEST_F(DialogTest, ASequenceOfAddsChangesAndDeletesLeavesExactlyTheseBytes) {
    WriteIni("; servers\r\n[旧服务器]\r\nIP=192.168.0.9\r\nPort=21\r\nNote=kept\r\n");
    TForm3& f = Open();
    Fill("网站", "127.0.0.1", "$1F90");
    f.BitBtn4->click();
    Fill("数据库", "127.0.0.2", " 3306");
    f.CheckBox1->setChecked(false);
    f.CheckBox2->setChecked(true);
    f.BitBtn4->click();
    Select(1); // 网站
    f.Edit2->setText(QStringLiteral("127.0.0.3"));
    f.BitBtn4->click();
    Select(0); // 旧服务器
    f.BitBtn1->click();
    Fill("邮件", "10.1.1.1", "25");
    f.BitBtn4->click();
    EXPECT_TRUE(messages.empty());
    EXPECT_TRUE(reports.empty());
    EXPECT_EQ(Entries(), (std::vector<std::string>{"网站", "数据库", "邮件"}));
    const std::string expected =
        "[网站]\r\nIP=127.0.0.3\r\nPort=8080\r\nSoundAlert=1\r\nSMSAlert=0\r\n"
        "\r\n"
        "[数据库]\r\nIP=127.0.0.2\r\nPort=3306\r\nSoundAlert=0\r\nSMSAlert="
        "1\r\n\r\n"
        "[邮件]\r\nIP=10.1.1.1\r\nPort=25\r\nSoundAlert=1\r\nSMSAlert=0\r\n"
        "\r\n";
    EXPECT_EQ(ReadIni(), expected);
    // GBK on disk: 网站 is CD F8 D5 BE.
    EXPECT_EQ(ReadIni().substr(0, 6), std::string("[\xCD\xF8\xD5\xBE]"));
}

TEST_F(DialogTest, SaveFailureReachesTheErrorReportAndKeepsTheFields) {
    std::filesystem::create_directory(TForm3::kServersPath); // nothing can be created there
    TForm3& f = Open();
    EXPECT_TRUE(reports.empty()); // a directory reads as an empty document
    Fill("A", "1.1.1.1", "80");
    f.CheckBox2->setChecked(true);
    f.BitBtn4->click();
    EXPECT_EQ(reports, (std::vector<std::string>{"Cannot create file ./servers.ini"}));
    EXPECT_EQ(Text(f.Edit1), "A");
    EXPECT_EQ(Text(f.Edit2), "1.1.1.1");
    EXPECT_EQ(Text(f.Edit3), "80");
    EXPECT_TRUE(f.CheckBox2->isChecked());
    EXPECT_TRUE(Entries().empty());
}

// A file that exists and cannot be read, even by root: a write-only kernel attribute.
bool MakeUnreadableServersFile() {
    const char* const target = "/sys/bus/pci/rescan";
    if (access(target, F_OK) != 0)
        return false;
    std::ifstream probe(target);
    if (probe.is_open())
        return false;
    std::filesystem::create_symlink(target, TForm3::kServersPath);
    return true;
}

TEST_F(DialogTest, UnreadableFileIsReportedAndTheDialogStillOpens) {
    if (!MakeUnreadableServersFile())
        GTEST_SKIP() << "no unreadable file available on this machine";
    TForm3& f = Open();
    EXPECT_EQ(host.calls, (std::vector<std::string>{"stop"}));
    EXPECT_EQ(reports, (std::vector<std::string>{"Cannot open file ./servers.ini"}));
    EXPECT_TRUE(Entries().empty());
    EXPECT_TRUE(f.isVisible());

    // Storing reports the same error and writes nothing.
    Fill("A", "1.1.1.1", "80");
    f.BitBtn4->click();
    EXPECT_EQ(reports.size(), 2u);
    EXPECT_EQ(Text(f.Edit1), "A");
}

struct CloseCase {
    const char* name;
    void (*close)(TForm3&);
};

class ClosePaths : public DialogTest, public testing::WithParamInterface<CloseCase> {};

TEST_P(ClosePaths, EveryWayOfClosingRebuildsTheTableAndRestartsTheCycle) {
    TForm3& f = Open();
    GetParam().close(f);
    EXPECT_FALSE(f.isVisible());
    EXPECT_EQ(host.calls, (std::vector<std::string>{"stop", "reload", "start 1000"}));
}

TEST_P(ClosePaths, AFailedRebuildIsReportedAndKeepsTheDialogOpen) {
    TForm3& f = Open();
    host.failReload = true;
    GetParam().close(f);
    EXPECT_TRUE(f.isVisible());
    EXPECT_EQ(reports, (std::vector<std::string>{"Cannot open file ./servers.ini"}));
    EXPECT_EQ(host.calls, (std::vector<std::string>{"stop", "reload"}));

    host.failReload = false;
    GetParam().close(f);
    EXPECT_FALSE(f.isVisible());
    EXPECT_EQ(host.calls, (std::vector<std::string>{"stop", "reload", "reload", "start 1000"}));
}

INSTANTIATE_TEST_SUITE_P(
    Ways, ClosePaths,
    testing::Values(CloseCase{"BitBtn2", [](TForm3& f) { f.BitBtn2->click(); }},
                    CloseCase{"TitleBar", [](TForm3& f) { f.close(); }},
                    CloseCase{"Reject", [](TForm3& f) { f.reject(); }},
                    CloseCase{"Accept", [](TForm3& f) { f.accept(); }}),
    [](const testing::TestParamInfo<CloseCase>& info) { return std::string(info.param.name); });

TEST_F(DialogTest, EscNeitherClosesNorReloadsAndEnterStoresNothing) {
    TForm3& f = Open();
    f.Edit1->setFocus();
    QTest::keyClick(&f, Qt::Key_Escape);
    EXPECT_TRUE(f.isVisible());
    EXPECT_EQ(host.calls, (std::vector<std::string>{"stop"}));

    Fill("A", "1.1.1.1", "80");
    QTest::keyClick(f.Edit3, Qt::Key_Return);
    QTest::keyClick(f.Edit3, Qt::Key_Enter);
    EXPECT_FALSE(std::filesystem::exists(TForm3::kServersPath));
    EXPECT_TRUE(f.isVisible());

    // Enter on a focused button clicks that button only.
    f.BitBtn4->setFocus();
    QTest::keyClick(f.BitBtn4, Qt::Key_Return);
    EXPECT_TRUE(std::filesystem::exists(TForm3::kServersPath));
}

TEST_F(DialogTest, OpensCentredOnTheMainWindowAndModalToItOnly) {
    QWidget owner;
    owner.setGeometry(100, 150, 219, 431);
    owner.show();
    TForm3 dialog(host, &owner);
    EXPECT_EQ(dialog.windowModality(), Qt::WindowModal);
    dialog.show();
    const QPoint offset = dialog.frameGeometry().center() - owner.frameGeometry().center();
    EXPECT_LE(offset.manhattanLength(), 2) << offset.x() << "," << offset.y();
    owner.move(400, 100);
    dialog.hide();
    TForm3 again(host, &owner); // each opening is a new dialog, placed anew
    again.show();
    const QPoint offset2 = again.frameGeometry().center() - owner.frameGeometry().center();
    EXPECT_LE(offset2.manhattanLength(), 2) << offset2.x() << "," << offset2.y();
}

TEST_F(DialogTest, ExecuteRunsModallyAndDestroysTheDialogWhenItCloses) {
    QWidget owner;
    owner.resize(300, 300);
    owner.show();
    std::vector<std::string> seen;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<TForm3*>(QApplication::activeModalWidget());
        if (!dialog) {
            seen.push_back("no modal dialog");
            return;
        }
        seen.push_back(dialog->isModal() ? "modal" : "modeless");
        seen.push_back(owner.findChildren<TForm3*>().size() == 1 ? "child" : "no child");
        dialog->BitBtn2->click();
    });
    // A safety net: should the dialog not close, end the modal run so the test fails instead
    // of hanging.
    QTimer::singleShot(5000, [] {
        if (auto* d = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
            d->QDialog::done(0);
    });
    TForm3::Execute(host, &owner);
    EXPECT_EQ(seen, (std::vector<std::string>{"modal", "child"}));
    EXPECT_TRUE(owner.findChildren<TForm3*>().empty());
    EXPECT_EQ(host.calls, (std::vector<std::string>{"stop", "reload", "start 1000"}));
}

} // namespace
