#include "ui/MainWindowTray.h"

#include "platform/ErrorReport.h"
#include "platform/qt/QtText.h"

#include <QAction>
#include <QImage>
#include <QMenu>
#include <QPixmap>

QMenu* CreatePopupMenu1(QWidget* parent, std::function<void()> n1Click,
                        std::function<void()> n2Click) {
    auto* menu = new QMenu(parent);
    menu->setObjectName(QStringLiteral("PopupMenu1"));
    QAction* n1 = menu->addAction(GbkToQString("显示界面"));
    n1->setObjectName(QStringLiteral("N1"));
    QAction* n3 = menu->addSeparator();
    n3->setObjectName(QStringLiteral("N3"));
    QAction* n2 = menu->addAction(GbkToQString("退出软件"));
    n2->setObjectName(QStringLiteral("N2"));
    QObject::connect(n1, &QAction::triggered, menu,
                     [click = std::move(n1Click)] { RunGuarded([&] { click(); }); });
    QObject::connect(n2, &QAction::triggered, menu,
                     [click = std::move(n2Click)] { RunGuarded([&] { click(); }); });
    return menu;
}

QImage TrayArtwork() {
    return QImage(QStringLiteral(":/icons/tray.ico"), "ICO");
}

QIcon TrayIconImage() {
    const QImage image = TrayArtwork();
    if (image.isNull())
        return QIcon();
    return QIcon(QPixmap::fromImage(image));
}
