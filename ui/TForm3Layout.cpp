#include "ui/TForm3.h"

#include "platform/ErrorReport.h"
#include "platform/qt/QtText.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

namespace {

const QColor kListColour(189, 198, 28);

QPushButton* MakeButton(QWidget* parent, const char* name, const char* captionGbk, QRect at) {
    auto* button = new QPushButton(GbkToQString(captionGbk), parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setGeometry(at);
    // No default button: Enter must not store anything.
    button->setAutoDefault(false);
    button->setDefault(false);
    return button;
}

QLabel* MakeLabel(QWidget* parent, const char* name, const char* captionGbk, QRect at) {
    auto* label = new QLabel(GbkToQString(captionGbk), parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setGeometry(at);
    return label;
}

QLineEdit* MakeEdit(QWidget* parent, const char* name, QRect at) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QString::fromLatin1(name));
    edit->setGeometry(at);
    edit->setMaxLength(32767); // as long as the control allows
    return edit;
}

QCheckBox* MakeCheckBox(QWidget* parent, const char* name, const char* captionGbk, QRect at) {
    auto* box = new QCheckBox(GbkToQString(captionGbk), parent);
    box->setObjectName(QString::fromLatin1(name));
    box->setGeometry(at);
    return box;
}

} // namespace

void TForm3::CreateControls() {
    setObjectName(QStringLiteral("Form3"));
    setWindowTitle(GbkToQString("添加服务器"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(kClientWidth, kClientHeight);
    QFont font(GbkToQString("宋体"));
    font.setPixelSize(12);
    setFont(font);

    ListBox1 = new QListWidget(this);
    ListBox1->setObjectName(QStringLiteral("ListBox1"));
    ListBox1->setGeometry(0, 0, kClientWidth, 113);
    ListBox1->setSelectionMode(QAbstractItemView::SingleSelection);
    ListBox1->setSortingEnabled(false);
    QPalette listPalette = ListBox1->palette();
    listPalette.setColor(QPalette::Base, kListColour);
    ListBox1->setPalette(listPalette);

    BitBtn1 = MakeButton(this, "BitBtn1", "删除", QRect(8, 120, 57, 25));

    GroupBox1 = new QGroupBox(GbkToQString("添加监视服务器"), this);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    GroupBox1->setGeometry(8, 152, 217, 193);
    CreateFields();

    BitBtn2 = MakeButton(this, "BitBtn2", "关闭", QRect(144, 352, 75, 25));
    SetTabOrder();
}

void TForm3::CreateFields() {
    QWidget* box = GroupBox1;
    Label1 = MakeLabel(box, "Label1", "服务器名称", QRect(8, 24, 60, 12));
    Edit1 = MakeEdit(box, "Edit1", QRect(72, 20, 137, 20));
    Label2 = MakeLabel(box, "Label2", "服务器IP", QRect(8, 48, 48, 12));
    Edit2 = MakeEdit(box, "Edit2", QRect(72, 44, 137, 20));
    Label3 = MakeLabel(box, "Label3", "服务器端口", QRect(8, 72, 60, 12));
    Edit3 = MakeEdit(box, "Edit3", QRect(72, 68, 137, 20));
    CheckBox1 = MakeCheckBox(box, "CheckBox1", "发生故障报警声音提示", QRect(8, 96, 161, 17));
    CheckBox1->setChecked(true);
    CheckBox2 =
        MakeCheckBox(box, "CheckBox2", "故障发短信给管理员(需硬件)", QRect(8, 128, 193, 17));
    CheckBox2->setChecked(false);
    BitBtn4 = MakeButton(box, "BitBtn4", "添加/修改", QRect(56, 160, 75, 25));
    BitBtn5 = MakeButton(box, "BitBtn5", "清空", QRect(136, 160, 75, 25));
}

void TForm3::SetTabOrder() {
    QWidget* order[] = {ListBox1,  BitBtn1, Edit1,   Edit2,     Edit3,
                        CheckBox1, BitBtn4, BitBtn5, CheckBox2, BitBtn2};
    for (std::size_t i = 0; i + 1 < std::size(order); ++i)
        setTabOrder(order[i], order[i + 1]);
}

void TForm3::ConnectHandlers() {
    auto guarded = [this](void (TForm3::*handler)()) {
        return [this, handler] { RunGuarded([&] { (this->*handler)(); }); };
    };
    connect(BitBtn1, &QPushButton::clicked, this, guarded(&TForm3::BitBtn1Click));
    connect(BitBtn4, &QPushButton::clicked, this, guarded(&TForm3::BitBtn4Click));
    connect(BitBtn5, &QPushButton::clicked, this, guarded(&TForm3::BitBtn5Click));
    connect(BitBtn2, &QPushButton::clicked, this, guarded(&TForm3::BitBtn2Click));

    // The list reports a selection made with the mouse or the arrow keys, and also a click on
    // the entry that is selected already. A mouse press that changes the selection is reported
    // twice by Qt (selection change, then press): the press is then not loaded again.
    connect(ListBox1, &QListWidget::itemSelectionChanged, this, [this] {
        if (ListBox1->selectedItems().isEmpty())
            return;
        loadedByPress_ = QGuiApplication::mouseButtons() != Qt::NoButton;
        RunGuarded([&] { ListBox1Click(); });
    });
    connect(ListBox1, &QListWidget::itemPressed, this, [this] {
        if (loadedByPress_) {
            loadedByPress_ = false;
            return;
        }
        RunGuarded([&] { ListBox1Click(); });
    });
}
