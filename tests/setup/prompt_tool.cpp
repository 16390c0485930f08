// prompt_tool: calls the setup library's dsn_complete_info the way the
// driver's prompt does, and prints the record it hands back.
//
//   prompt_tool [--no-window] [--robot LIBRARY SCRIPT] SETUP_LIBRARY [field=value ...]
//
// Fields are DsnSettings' members by name. Prints "RESULT n", then
// "SETTING name=value" for every member.
#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "support/dsn_settings.h"

namespace {

struct Member {
    const char *name;
    char (DsnSettings::*text)[kDsnText];
    int32_t DsnSettings::*number;
};

constexpr Member kMembers[] = {
    {"dsn", &DsnSettings::dsn, nullptr},
    {"proxy", &DsnSettings::proxy, nullptr},
    {"proxy_user", &DsnSettings::proxy_user, nullptr},
    {"proxy_password", &DsnSettings::proxy_password, nullptr},
    {"log_file", &DsnSettings::log_file, nullptr},
    {"logging", nullptr, &DsnSettings::logging},
    {"filter_local", nullptr, &DsnSettings::filter_local},
    {"flush_on_update", nullptr, &DsnSettings::flush_on_update},
    {"max_rows", nullptr, &DsnSettings::max_rows},
    {"client_id", &DsnSettings::client_id, nullptr},
    {"client_secret", &DsnSettings::client_secret, nullptr},
    {"query_timeout", nullptr, &DsnSettings::query_timeout},
    {"sandbox", nullptr, &DsnSettings::sandbox},
    {"base_url", &DsnSettings::base_url, nullptr},
    {"cert", &DsnSettings::cert, nullptr},
};

}  // namespace

int main(int argc, char **argv) {
    static int window_token;
    const char *setup_path = nullptr;
    void *window = &window_token;
    static DsnSettings s;
    for (int i = 1; i < argc; i++) {
        std::string a = argv[i];
        if (a == "--no-window") {
            window = nullptr;
        } else if (a == "--robot" && i + 2 < argc) {
            void *robot = dlopen(argv[i + 1], RTLD_NOW | RTLD_GLOBAL);
            auto arm = robot ? reinterpret_cast<void (*)(const char *)>(dlsym(robot, "robot_arm"))
                             : nullptr;
            if (!arm) return std::fprintf(stderr, "cannot load the robot: %s\n", dlerror()), 2;
            arm(argv[i + 2]);
            i += 2;
        } else if (size_t eq = a.find('='); eq != std::string::npos) {
            std::string key = a.substr(0, eq), value = a.substr(eq + 1);
            bool known = false;
            for (const Member &m : kMembers) {
                if (key != m.name) continue;
                known = true;
                if (m.text)
                    dsn_set_text(s.*m.text, value);
                else
                    s.*m.number = static_cast<int32_t>(std::strtol(value.c_str(), nullptr, 10));
            }
            if (!known) return std::fprintf(stderr, "unknown field %s\n", key.c_str()), 2;
        } else if (!setup_path && a.compare(0, 2, "--") != 0) {
            setup_path = argv[i];
        } else {
            return std::fprintf(stderr, "unknown argument %s\n", argv[i]), 2;
        }
    }
    if (!setup_path) {
        std::fprintf(
            stderr,
            "usage: %s [--no-window] [--robot LIB SCRIPT] SETUP_LIBRARY [field=value ...]\n",
            argv[0]);
        return 2;
    }
    void *setup = dlopen(setup_path, RTLD_NOW | RTLD_LOCAL);
    auto complete =
        setup ? reinterpret_cast<DsnCompleteInfoFn>(dlsym(setup, "dsn_complete_info")) : nullptr;
    if (!complete) return std::fprintf(stderr, "cannot load %s: %s\n", setup_path, dlerror()), 2;
    int r = complete(nullptr, window, &s);
    std::printf("RESULT %d\n", r);
    for (const Member &m : kMembers) {
        if (m.text)
            std::printf("SETTING %s=%s\n", m.name, s.*m.text);
        else
            std::printf("SETTING %s=%d\n", m.name, s.*m.number);
    }
    return 0;
}
