// Start-up of the monitor with and without its skin: does what the program's main does (the
// application object, TForm1, which reads the stored skin and applies it; "plain" creates the
// window without reading it) and ends the process as soon as the main window has been painted
// for the first time, so a driver can time process start to first paint (skin_startup.sh).
//
// usage: skin_startup_probe plain|skin

#include "platform/AppInfo.h"
#include "platform/qt/QtText.h"
#include "skin/TSkinManage.h"
#include "ui/TForm1.h"

#include <QApplication>
#include <QTimer>

#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace {

// Ends the process right after the first paint of the watched window (with the skin: the
// first paint after the skin was applied).
class FirstPaint : public QObject {
public:
    FirstPaint(QWidget& window, bool skinned) : window_(window), skinned_(skinned) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == &window_ && event->type() == QEvent::Paint && Ready())
            QTimer::singleShot(0, [] {
                std::fflush(stdout);
                _exit(0);
            });
        return false;
    }

private:
    bool Ready() const {
        if (!skinned_)
            return true;
        return TSkinManage::Instance().FormPainter(&window_) != nullptr;
    }
    QWidget& window_;
    bool skinned_;
};

} // namespace

int main(int argc, char** argv) {
    const bool skinned = argc > 1 && std::strcmp(argv[1], "skin") == 0;
    QApplication application(argc, argv);
    QApplication::setApplicationName(GbkToQString(kDisplayName));
    QApplication::setQuitOnLastWindowClosed(false);

    TForm1 form(nullptr, nullptr, skinned ? TForm1::Look::Skinned : TForm1::Look::Plain);
    FirstPaint watch(form, skinned);
    form.installEventFilter(&watch);
    form.show();
    return application.exec();
}
