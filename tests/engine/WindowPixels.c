/* window-pixels WINDOW X Y [X Y ...]: prints each pixel of the window as the
 * X server holds it, as AARRGGBB in hex (alpha ff for windows without an
 * alpha channel), one per line. WINDOW is a decimal or 0x window id. With a
 * compositing manager, a window's pixels are its own, before compositing. */
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <stdio.h>
#include <stdlib.h>

int main(int argc, char **argv) {
  if (argc < 4 || argc % 2) {
    fprintf(stderr, "usage: window-pixels WINDOW X Y [X Y ...]\n");
    return 2;
  }
  Display *d = XOpenDisplay(NULL);
  if (!d) {
    fprintf(stderr, "window-pixels: no display\n");
    return 1;
  }
  const Window w = (Window)strtoul(argv[1], NULL, 0);
  XWindowAttributes a;
  if (!XGetWindowAttributes(d, w, &a)) {
    fprintf(stderr, "window-pixels: no window %s\n", argv[1]);
    return 1;
  }
  XImage *image = XGetImage(d, w, 0, 0, (unsigned)a.width, (unsigned)a.height, AllPlanes, ZPixmap);
  if (!image) {
    fprintf(stderr, "window-pixels: the window cannot be read\n");
    return 1;
  }
  for (int i = 2; i + 1 < argc; i += 2) {
    const int x = atoi(argv[i]), y = atoi(argv[i + 1]);
    if (x < 0 || y < 0 || x >= a.width || y >= a.height) {
      fprintf(stderr, "window-pixels: %d,%d lies outside %dx%d\n", x, y, a.width, a.height);
      return 1;
    }
    unsigned long pixel = XGetPixel(image, x, y);
    if (a.depth < 32)
      pixel |= 0xff000000ul;
    printf("%08lx\n", pixel & 0xfffffffful);
  }
  XDestroyImage(image);
  XCloseDisplay(d);
  return 0;
}
