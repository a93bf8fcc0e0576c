#include "ui/TForm3.h"

#include "platform/AppInfo.h"
#include "platform/ErrorReport.h"
#include "platform/qt/QtText.h"
#include "storage/IntegerText.h"
#include "storage/MemIniFile.h"
#include "storage/StringList.h"
#include "ui/SettingsHost.h"

#include <QCheckBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>

#include <memory>

namespace {

TForm3::MessageHook messageHook;

// The message box of the dialog: the text, one "OK" button, no icon, the display name as
// caption, centred on the screen (it has no parent window).
void ShowMessageBox(const std::string& textGbk) {
    QMessageBox box(QMessageBox::NoIcon, GbkToQString(kDisplayName), GbkToQString(textGbk),
                    QMessageBox::NoButton);
    box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
    box.exec();
}

std::string TextOf(const QLineEdit* edit) {
    return QStringToGbk(edit->text());
}

} // namespace

TForm3::TForm3(SettingsHost& host, QWidget* parent) : QDialog(parent), host_(host) {
    CreateControls();
    ConnectHandlers();
    // Modal to the main window only: the tray icon and its menu stay usable while the dialog
    // is open ("退出软件" must still end the program).
    if (parent)
        setWindowModality(Qt::WindowModal);
    FormCreate();
}

TForm3::~TForm3() = default;

void TForm3::Execute(SettingsHost& host, QWidget* parent) {
    const std::unique_ptr<TForm3> form(new TForm3(host, parent));
    form->exec();
}

TForm3::MessageHook TForm3::SetMessageHook(MessageHook hook) {
    MessageHook previous = std::move(messageHook);
    messageHook = std::move(hook);
    return previous;
}

void TForm3::ShowMessage(const std::string& textGbk) {
    if (messageHook)
        messageHook(textGbk);
    else
        ShowMessageBox(textGbk);
}

void TForm3::FormCreate() {
    host_.StopCycleTimer();
    // An unreadable file is reported; the dialog still opens, with an empty list.
    RunGuarded([&] { FillServerList(); });
}

void TForm3::FillServerList() {
    ListBox1->clear();
    TMemIniFile ini(kServersPath);
    TStringList names;
    ini.GetSectionNames(names);
    for (int i = 0; i < names.Count(); ++i) {
        // The entry keeps the name's own bytes: what goes back to the file is what came from it.
        auto* item = new QListWidgetItem(GbkToQString(names[i]));
        item->setData(Qt::UserRole, QByteArray::fromStdString(names[i]));
        ListBox1->addItem(item);
    }
    ListBox1->setCurrentRow(-1);
}

bool TForm3::SelectedSection(std::string& section) const {
    const QListWidgetItem* item = ListBox1->currentItem();
    if (!item || !item->isSelected())
        return false;
    section = item->data(Qt::UserRole).toByteArray().toStdString();
    return true;
}

void TForm3::ListBox1Click() {
    std::string section;
    if (!SelectedSection(section))
        return;
    TMemIniFile ini(kServersPath);
    Edit1->setText(GbkToQString(section));
    Edit2->setText(GbkToQString(ini.GetStr(section, "IP", "读取错误")));
    Edit3->setText(GbkToQString(ini.GetStr(section, "Port", "读取错误")));
    CheckBox1->setChecked(ini.GetBool(section, "SoundAlert", true));
    CheckBox2->setChecked(ini.GetBool(section, "SMSAlert", false));
}

void TForm3::BitBtn1Click() {
    std::string section;
    if (!SelectedSection(section))
        return;
    {
        TMemIniFile ini(kServersPath);
        ini.RemoveSection(section);
        ini.Save();
    }
    FillServerList();
}

void TForm3::BitBtn4Click() {
    if (Edit1->text().isEmpty() || Edit2->text().isEmpty() || Edit3->text().isEmpty()) {
        ShowMessage("请输入完整的信息！");
        Edit1->setFocus();
        return;
    }
    const std::optional<std::int32_t> port = ParseIntegerText(TextOf(Edit3));
    if (!port) {
        ShowMessage("端口输入错误!请输入合法的数值!");
        Edit3->setFocus();
        return;
    }
    if (*port < 1 || *port > 65535) {
        ShowMessage("端口输入错误!请输入合法的数值!(1-65535)");
        Edit3->setFocus();
        return;
    }
    {
        const std::string section = TextOf(Edit1);
        TMemIniFile ini(kServersPath);
        ini.PutStr(section, "IP", TextOf(Edit2));
        ini.PutInt(section, "Port", *port);
        ini.PutBool(section, "SoundAlert", CheckBox1->isChecked());
        ini.PutBool(section, "SMSAlert", CheckBox2->isChecked());
        ini.Save();
    }
    ResetFields();
    FillServerList();
}

void TForm3::BitBtn5Click() {
    ResetFields();
}

void TForm3::ResetFields() {
    Edit1->clear();
    Edit2->clear();
    Edit3->clear();
    CheckBox1->setChecked(true);
    CheckBox2->setChecked(false);
    Edit1->setFocus();
}

void TForm3::BitBtn2Click() {
    close();
}

bool TForm3::FormClose() {
    return RunGuarded([&] {
        host_.ReloadServers();
        host_.StartCycleTimer(1000);
    });
}

void TForm3::done(int result) {
    // A second close request while the first one's error box is up waits for that one.
    if (closing_)
        return;
    closing_ = true;
    const bool closed = FormClose();
    closing_ = false;
    if (closed)
        QDialog::done(result);
}

void TForm3::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Escape:
        // No cancel button: Esc does not close the dialog.
        event->accept();
        return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        // No default button either: Enter clicks only the button that has the focus.
        if (auto* button = qobject_cast<QPushButton*>(focusWidget())) {
            button->click();
            event->accept();
            return;
        }
        event->accept();
        return;
    default:
        QDialog::keyPressEvent(event);
    }
}
