// The dialog host: display checks and the process's QApplication.
#include "setup/dialog_host.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QApplication>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QThread>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

std::string env(const char *name) {
    const char *v = std::getenv(name);
    return v ? v : "";
}

// Connects to a Unix socket (a leading '@' names an abstract one).
bool socket_listens(const std::string &path) {
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof addr.sun_path) return false;
    std::memcpy(addr.sun_path, path.data(), path.size());
    socklen_t len = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + path.size());
    if (path[0] == '@') addr.sun_path[0] = '\0';
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    bool ok = connect(fd, reinterpret_cast<sockaddr *>(&addr), len) == 0;
    close(fd);
    return ok;
}

// DISPLAY names a local X server that accepts connections. A remote
// display (host:n) is trusted as it stands: checking it could block.
bool x_display_usable() {
    std::string d = env("DISPLAY");
    size_t colon = d.rfind(':');
    if (d.empty() || colon == std::string::npos) return false;
    std::string host = d.substr(0, colon);
    if (!host.empty() && host != "unix" && host[0] != '/') return true;
    std::string number = d.substr(colon + 1);
    number = number.substr(0, number.find('.'));
    if (number.empty() || number.find_first_not_of("0123456789") != std::string::npos) return false;
    std::string path = "/tmp/.X11-unix/X" + number;
    return socket_listens(path) || socket_listens("@" + path);
}

// WAYLAND_DISPLAY names a compositor socket and Qt has its Wayland plugin.
bool wayland_usable() {
    std::string name = env("WAYLAND_DISPLAY");
    if (name.empty()) return false;
    std::string path = name[0] == '/' ? name : env("XDG_RUNTIME_DIR") + "/" + name;
    QString plugin = QLibraryInfo::location(QLibraryInfo::PluginsPath) +
                     QStringLiteral("/platforms/libqwayland-generic.so");
    return socket_listens(path) && QFileInfo::exists(plugin);
}

QApplication *application() {
    if (QCoreApplication *app = QCoreApplication::instance()) {
        // A host's QCoreApplication or QGuiApplication cannot own widgets.
        auto *gui = qobject_cast<QApplication *>(app);
        return gui && QThread::currentThread() == gui->thread() ? gui : nullptr;
    }
    // An explicit platform is the user's choice; otherwise only a display
    // that answers, since Qt aborts the process when it cannot open one.
    static char name[] = "setup";
    static char platform_flag[] = "-platform";
    static char wayland[] = "wayland";
    static char *argv[] = {name, nullptr, nullptr, nullptr};
    static int argc = 1;
    if (env("QT_QPA_PLATFORM").empty()) {
        if (!x_display_usable()) {
            if (!wayland_usable()) return nullptr;
            argv[1] = platform_flag;
            argv[2] = wayland;
            argc = 3;
        }
    }
    // Never destroyed: Qt cannot be shut down and started again in one
    // process, and the host may call again later.
    auto *app = new QApplication(argc, argv);
    app->setQuitOnLastWindowClosed(false);
    return app;
}

}  // namespace

bool dialog_possible() {
    if (QCoreApplication *app = QCoreApplication::instance())
        return qobject_cast<QApplication *>(app) && QThread::currentThread() == app->thread();
    return !env("QT_QPA_PLATFORM").empty() || x_display_usable() || wayland_usable();
}

DialogOutcome run_setup_dialog(DsnForm *form, SetupMode mode, DsnSettings *settings) {
    if (!dialog_possible()) return DialogOutcome::kUnavailable;
    QApplication *app = application();
    if (!app) return DialogOutcome::kUnavailable;
    Setup dialog(form, mode, settings);
    dialog.exec();
    return dialog.result_code() == kSetupOk ? DialogOutcome::kOk : DialogOutcome::kCancel;
}
