// Process entry of a program built on our framework: hands over to the one
// static application object.
#include "framework/app_win.h"

extern "C" int WINAPI wWinMain(HINSTANCE hInstance, HINSTANCE, PWSTR, int nCmdShow) {
    CWinApp* app = CWinApp::Get();
    return app ? app->Main(hInstance, nCmdShow) : 1;
}
