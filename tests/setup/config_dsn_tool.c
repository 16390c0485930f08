/* config_dsn_tool: adds, configures and removes data sources the way an
 * application does, through unixODBC's SQLConfigDataSource.
 *
 *   config_dsn_tool [--window] [--robot LIBRARY SCRIPT] REQUEST DRIVER [KEY=VALUE ...]
 *
 * REQUEST is the ODBC_*_DSN number; --window passes a (never dereferenced)
 * window handle so the setup library may show its dialog; --robot loads a
 * test robot that works the dialog. Prints "RESULT n" and one
 * "ERROR code message" line per installer error. */
#include <dlfcn.h>
#include <odbcinst.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

int main(int argc, char **argv) {
    static int window_token;
    HWND window = NULL;
    int i = 1;
    for (; i < argc && strncmp(argv[i], "--", 2) == 0; i++) {
        if (strcmp(argv[i], "--window") == 0) {
            window = &window_token;
        } else if (strcmp(argv[i], "--robot") == 0 && i + 2 < argc) {
            void *robot = dlopen(argv[i + 1], RTLD_NOW | RTLD_GLOBAL);
            void (*arm)(const char *) =
                robot ? (void (*)(const char *))dlsym(robot, "robot_arm") : NULL;
            if (!arm) {
                fprintf(stderr, "cannot load the robot: %s\n", dlerror());
                return 2;
            }
            arm(argv[i + 2]);
            i += 2;
        } else {
            fprintf(stderr, "unknown option %s\n", argv[i]);
            return 2;
        }
    }
    if (argc - i < 2) {
        fprintf(stderr,
                "usage: %s [--window] [--robot LIB SCRIPT] REQUEST DRIVER [KEY=VALUE ...]\n",
                argv[0]);
        return 2;
    }
    WORD request = (WORD)strtol(argv[i], NULL, 10);
    const char *driver = argv[i + 1];
    /* The attribute list: NUL-separated pairs ended by an empty string. */
    size_t size = 2;
    for (int k = i + 2; k < argc; k++) size += strlen(argv[k]) + 1;
    char *attributes = calloc(size, 1);
    if (!attributes) return 2;
    char *p = attributes;
    for (int k = i + 2; k < argc; k++) {
        size_t n = strlen(argv[k]);
        memcpy(p, argv[k], n);
        p += n + 1;
    }
    BOOL ok = SQLConfigDataSource(window, request, driver, attributes);
    printf("RESULT %d\n", ok ? 1 : 0);
    for (WORD e = 1; e <= 8; e++) {
        DWORD code = 0;
        char message[SQL_MAX_MESSAGE_LENGTH] = "";
        WORD length = 0;
        RETCODE rc = SQLInstallerError(e, &code, message, sizeof message, &length);
        if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) break;
        printf("ERROR %lu %s\n", (unsigned long)code, message);
    }
    free(attributes);
    return 0;
}
