// The monitor with the tray icon wired in from outside the main window, exactly as the wiring
// inside TForm1 is meant to be. The end-to-end script drives it until the program itself
// carries that wiring.
#include "app/ErrorBox.h"
#include "platform/AppInfo.h"
#include "platform/QtText.h"
#include "ui/TForm1.h"
#include "ui/TRxTrayIcon.h"

#include <QApplication>
#include <QMenu>

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(GbkToQString(kDisplayName));
    QApplication::setQuitOnLastWindowClosed(false);
    InstallErrorBox();

    TForm1 form;
    QMenu* popupMenu1 = CreatePopupMenu1(
        &form, [&] { form.N1Click(); }, [&] { form.N2Click(); });
    auto* rxTrayIcon1 = new TRxTrayIcon(&form);
    rxTrayIcon1->setObjectName(QStringLiteral("RxTrayIcon1"));
    rxTrayIcon1->SetPopupMenu(popupMenu1);
    rxTrayIcon1->OnDblClick = [&] { form.RxTrayIcon1DblClick(); };
    rxTrayIcon1->SetIcon(TrayIconImage());

    form.show();
    application.exec();
    return 0;
}
