/* A system tray that takes every icon and shows none: it owns the tray
 * selection of screen 0 and keeps the icons it is asked to dock inside one
 * window that is never mapped. With it Wine docks tray icons instead of
 * opening a window of its own for them, which would take the focus from the
 * program under test. Runs until it is killed or the display goes. */
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <stdio.h>

#define SYSTEM_TRAY_REQUEST_DOCK 0

int main(void) {
    Display* dpy = XOpenDisplay(NULL);
    if (!dpy) return 1;
    const int screen = DefaultScreen(dpy);
    const Window root = RootWindow(dpy, screen);
    const Window tray = XCreateSimpleWindow(dpy, root, -10, -10, 1, 1, 0, 0, 0);
    char name[64];
    snprintf(name, sizeof name, "_NET_SYSTEM_TRAY_S%d", screen);
    const Atom selection = XInternAtom(dpy, name, False);
    const Atom opcode = XInternAtom(dpy, "_NET_SYSTEM_TRAY_OPCODE", False);
    const Atom manager = XInternAtom(dpy, "MANAGER", False);
    XSetSelectionOwner(dpy, selection, tray, CurrentTime);
    if (XGetSelectionOwner(dpy, selection) != tray) return 2;

    XClientMessageEvent announce = {0};
    announce.type = ClientMessage;
    announce.window = root;
    announce.message_type = manager;
    announce.format = 32;
    announce.data.l[0] = CurrentTime;
    announce.data.l[1] = (long)selection;
    announce.data.l[2] = (long)tray;
    XSendEvent(dpy, root, False, StructureNotifyMask, (XEvent*)&announce);
    XFlush(dpy);
    printf("ready\n");
    fflush(stdout);

    for (;;) {
        XEvent ev;
        XNextEvent(dpy, &ev);
        if (ev.type == ClientMessage && ev.xclient.message_type == opcode &&
            ev.xclient.data.l[1] == SYSTEM_TRAY_REQUEST_DOCK) {
            XReparentWindow(dpy, (Window)ev.xclient.data.l[2], tray, 0, 0);
            XFlush(dpy);
        }
    }
}
