/* close-window TITLE TIMEOUT_MS: waits for a top-level window with that
 * title, asks it to close as a window manager would (WM_DELETE_WINDOW) and
 * prints how many such windows it saw. Exit 0 when one was closed. */
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

/* The title as window managers read it: _NET_WM_NAME, else WM_NAME. */
static int titled(Display *d, Window w, const char *title) {
  Atom type;
  int format;
  unsigned long count, after;
  unsigned char *data = NULL;
  int match = 0;
  if (XGetWindowProperty(d, w, XInternAtom(d, "_NET_WM_NAME", False), 0, 1024, False,
                         XInternAtom(d, "UTF8_STRING", False), &type, &format, &count, &after,
                         &data) == Success &&
      data) {
    match = strcmp((const char *)data, title) == 0;
    XFree(data);
    return match;
  }
  char *name = NULL;
  match = XFetchName(d, w, &name) && name && strcmp(name, title) == 0;
  if (name)
    XFree(name);
  return match;
}

static int find(Display *d, Window w, const char *title, Window *found) {
  Window root, parent, *children = NULL;
  unsigned int count = 0;
  int seen = titled(d, w, title);
  if (seen)
    *found = w;
  if (XQueryTree(d, w, &root, &parent, &children, &count)) {
    for (unsigned int i = 0; i < count; ++i)
      seen += find(d, children[i], title, found);
    if (children)
      XFree(children);
  }
  return seen;
}

/* Windows of other programs come and go while the tree is walked. */
static int ignoreErrors(Display *d, XErrorEvent *e) {
  (void)d;
  (void)e;
  return 0;
}

int main(int argc, char **argv) {
  if (argc != 3)
    return 2;
  Display *d = XOpenDisplay(NULL);
  if (!d)
    return 3;
  XSetErrorHandler(ignoreErrors);
  const long timeout = atol(argv[2]);
  for (long waited = 0; waited < timeout; waited += 50) {
    Window found = 0;
    int seen = find(d, DefaultRootWindow(d), argv[1], &found);
    if (seen > 0) {
      XEvent e;
      memset(&e, 0, sizeof e);
      e.xclient.type = ClientMessage;
      e.xclient.window = found;
      e.xclient.message_type = XInternAtom(d, "WM_PROTOCOLS", False);
      e.xclient.format = 32;
      e.xclient.data.l[0] = (long)XInternAtom(d, "WM_DELETE_WINDOW", False);
      e.xclient.data.l[1] = CurrentTime;
      XSendEvent(d, found, False, NoEventMask, &e);
      XFlush(d);
      printf("%d\n", seen);
      XCloseDisplay(d);
      return 0;
    }
    usleep(50000);
  }
  printf("0\n");
  XCloseDisplay(d);
  return 1;
}
