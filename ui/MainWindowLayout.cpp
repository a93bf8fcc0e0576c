// The main window's controls: positions and sizes are client-area pixels at 96 dpi.
#include "ui/TForm1.h"

#include "platform/AppInfo.h"
#include "platform/ErrorReport.h"
#include "platform/qt/QtText.h"
#include "ui/LogPane.h"
#include "ui/TListView.h"
#include "ui/TSpinEdit.h"

#include <QHeaderView>
#include <QLabel>
#include <QPalette>
#include <QPushButton>
#include <QStatusBar>

namespace {

// "宋体" first; where it is missing, CJK faces that cover the same characters.
QFont FormFont() {
    QFont font;
    font.setFamilies({GbkToQString("宋体"), "SimSun", "NSimSun", "WenQuanYi Zen Hei",
                      "Noto Sans CJK SC", "Droid Sans Fallback"});
    font.setPixelSize(12);
    font.setWeight(QFont::Normal);
    return font;
}

QPushButton* MakeButton(QWidget* parent, const char* name, const char* caption, QRect geometry) {
    auto* button = new QPushButton(GbkToQString(caption), parent);
    button->setObjectName(name);
    button->setGeometry(geometry);
    button->setAutoDefault(false);
    return button;
}

QLabel* MakeLabel(QWidget* parent, const char* name, const char* caption, QRect geometry) {
    auto* label = new QLabel(GbkToQString(caption), parent);
    label->setObjectName(name);
    // A fallback face may be a little taller or wider than the designed 12 px: grow the label
    // around the same centre line rather than clip the text.
    const QSize hint = label->sizeHint();
    const int height = qMax(geometry.height(), hint.height());
    label->setGeometry(geometry.left(), geometry.top() - (height - geometry.height()) / 2,
                       qMax(geometry.width(), hint.width()), height);
    return label;
}

} // namespace

void TForm1::CreateControls() {
    setObjectName("Form1");
    setWindowTitle(GbkToQString(kDisplayName));
    // A fixed dialog frame: title and close box only, no minimise or maximise.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(kClientWidth, kClientHeight);
    setBackgroundRole(QPalette::Button);
    setAutoFillBackground(true);
    setFont(FormFont());

    CreateServerList();
    CreateIntervalRow();
    CreateButtons();
    CreateLogAndStatus();
    SetTabOrder();
    ConnectHandlers();
}

void TForm1::CreateServerList() {
    ListView1 = new TListView(this);
    ListView1->setObjectName("ListView1");
    ListView1->setGeometry(0, 0, kClientWidth, 265);
    ListView1->setHeaderLabels({GbkToQString("服务器名称"), GbkToQString("状态")});
    ListView1->header()->resizeSection(0, 130);
    ListView1->header()->resizeSection(1, 70);
    QPalette palette = ListView1->palette();
    palette.setColor(QPalette::Base, QColor(189, 198, 28));
    ListView1->setPalette(palette);
}

void TForm1::CreateIntervalRow() {
    Label4 = MakeLabel(this, "Label4", "检测时间间隔", QRect(8, 278, 72, 12));
    SpinEdit1 = new TSpinEdit(this);
    SpinEdit1->setObjectName("SpinEdit1");
    SpinEdit1->setGeometry(88, 274, 49, 21);
    SpinEdit1->SetMinValue(5);
    SpinEdit1->SetMaxValue(600);
    SpinEdit1->SetIncrement(1);
    SpinEdit1->SetValue(60);
    Label5 = MakeLabel(this, "Label5", "秒(立即生效)", QRect(143, 278, 72, 12));
}

void TForm1::CreateButtons() {
    Button2 = MakeButton(this, "Button2", "设置", QRect(8, 304, 65, 25));
    Button1 = MakeButton(this, "Button1", "立即刷新", QRect(78, 304, 61, 25));
    Button3 = MakeButton(this, "Button3", "缩成图标", QRect(144, 304, 65, 25));
}

void TForm1::CreateLogAndStatus() {
    Memo1 = new LogPane(this);
    Memo1->setObjectName("Memo1");
    Memo1->setGeometry(0, 335, kClientWidth, 77);
    QPalette palette = Memo1->palette();
    palette.setColor(QPalette::Base, Qt::black);
    palette.setColor(QPalette::Text, QColor(0, 255, 0));
    Memo1->setPalette(palette);

    StatusBar1 = new QStatusBar(this);
    StatusBar1->setObjectName("StatusBar1");
    StatusBar1->setGeometry(0, 412, kClientWidth, 19);
    StatusBar1->setSizeGripEnabled(false);
    auto* panel = new QLabel(GbkToQString(StatusText()), StatusBar1);
    panel->setObjectName("StatusPanel");
    StatusBar1->addWidget(panel, 1);
}

void TForm1::SetTabOrder() {
    // Memo1, ListView1, Button1, Button2, Button3, SpinEdit1.
    QWidget::setTabOrder(Memo1, ListView1);
    QWidget::setTabOrder(ListView1, Button1);
    QWidget::setTabOrder(Button1, Button2);
    QWidget::setTabOrder(Button2, Button3);
    QWidget::setTabOrder(Button3, SpinEdit1);
    Memo1->setFocus(Qt::OtherFocusReason);
}

void TForm1::ConnectHandlers() {
    connect(Button1, &QPushButton::clicked, this,
            [this] { RunGuarded([this] { Button1Click(); }); });
    connect(Button2, &QPushButton::clicked, this,
            [this] { RunGuarded([this] { Button2Click(); }); });
    connect(Button3, &QPushButton::clicked, this,
            [this] { RunGuarded([this] { Button3Click(); }); });
}
