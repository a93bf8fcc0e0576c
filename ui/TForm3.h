#pragma once

#include <QDialog>

#include <functional>
#include <string>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class SettingsHost;

// The settings dialog "添加服务器": lists the servers of servers.ini, loads one into its fields,
// adds or overwrites one, deletes one. Every handler that touches the file reads a fresh document
// and saves at once; the dialog keeps no data of its own.
//
// Creating it runs FormCreate (stops the host's cycle timer, fills the list). Every way of closing
// it ("关闭", the title-bar button, Alt+F4, done/reject) runs FormClose: the host's table rebuild,
// then the cycle timer restarted at 1000 ms; when the rebuild fails the error is reported and the
// dialog stays open. Esc does nothing and Enter stores nothing: there is no default or cancel
// button.
class TForm3 : public QDialog {
    Q_OBJECT

public:
    static constexpr int kClientWidth = 231;
    static constexpr int kClientHeight = 385;

    // The file every handler reads and writes, relative to the working directory.
    static constexpr const char* kServersPath = "./servers.ini";

    // Shows one message (GBK) modally and returns when it has been closed.
    using MessageHook = std::function<void(const std::string& textGbk)>;

    TForm3(SettingsHost& host, QWidget* parent);
    ~TForm3() override;

    // Creates the dialog over `parent`, runs it modally and destroys it when the modal run ends,
    // also when it ends through an exception.
    static void Execute(SettingsHost& host, QWidget* parent);

    // Replaces the message box (tests record the messages instead); an empty hook restores the
    // modal box. Returns the previous hook.
    static MessageHook SetMessageHook(MessageHook hook);

    QListWidget* ListBox1 = nullptr;
    QPushButton* BitBtn1 = nullptr;
    QGroupBox* GroupBox1 = nullptr;
    QLabel* Label1 = nullptr;
    QLineEdit* Edit1 = nullptr;
    QLabel* Label2 = nullptr;
    QLineEdit* Edit2 = nullptr;
    QLabel* Label3 = nullptr;
    QLineEdit* Edit3 = nullptr;
    QCheckBox* CheckBox1 = nullptr;
    QCheckBox* CheckBox2 = nullptr;
    QPushButton* BitBtn4 = nullptr;
    QPushButton* BitBtn5 = nullptr;
    QPushButton* BitBtn2 = nullptr;

    void FormCreate();
    void FillServerList();
    void ListBox1Click();
    void BitBtn1Click();
    void BitBtn4Click();
    void BitBtn5Click();
    void BitBtn2Click();
    // Rebuilds the host's table and restarts its cycle timer; false (error reported) when the
    // rebuild failed.
    bool FormClose();

    // Every closing path ends here; the dialog hides only when FormClose succeeds.
    void done(int result) override;

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    // TForm3Layout.cpp: the controls with their positions, colours, texts and focus order.
    void CreateControls();
    void CreateFields();
    void SetTabOrder();
    void ConnectHandlers();

    void ShowMessage(const std::string& textGbk);
    void ResetFields();
    // The GBK section name of the selected entry, as the file gave it; false when none is.
    bool SelectedSection(std::string& section) const;

    SettingsHost& host_;
    bool closing_ = false;
    // A mouse press that changed the selection has loaded it already; the press itself must not
    // load it a second time.
    bool loadedByPress_ = false;
};
