#pragma once

#include <QIcon>
#include <QImage>

#include <functional>

class QMenu;
class QWidget;

// The main window's tray menu PopupMenu1: N1 "显示界面", the separator N3, N2 "退出软件". The
// callbacks run guarded, after the menu has closed. The menu is owned by `parent`.
QMenu* CreatePopupMenu1(QWidget* parent, std::function<void()> n1Click,
                        std::function<void()> n2Click);

// The program's artwork (32 x 32, 16 colours, from the committed icon file), as the tray icon
// and as the notifications' image; null when the resource cannot be read.
QImage TrayArtwork();
QIcon TrayIconImage();
