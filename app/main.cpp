// main.cpp - Tessel's entry: start-up, the frame loop until the user quits, shutdown.
#include "app/shell.h"
#include "platform/plat_x11_editor.h"

int main(int argc, char** argv)
{
    // Before any X call: plug-ins open X connections from threads of their own.
    plat_x11_init_threads();
    static ShellCtx shell;
    if (shell_start(&shell, argc, argv, nullptr) != 0)
        return 1;
    while (shell_frame(&shell)) {
    }
    return shell_stop(&shell);
}
