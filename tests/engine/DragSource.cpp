// drag-source URL: a small window at the screen's top left that, when the
// mouse is pressed in it, drags URL (text/uri-list) the way a file manager
// does, over XDND. Prints "ready" once shown and "drag ended ACTION" (the
// Qt::DropAction the target accepted, 0 for none) when the button is let go.
#include <QApplication>
#include <QDrag>
#include <QMimeData>
#include <QTimer>
#include <QUrl>
#include <QWidget>

#include <cstdio>

namespace {
class Source : public QWidget {
public:
  explicit Source(QUrl url) : url(std::move(url)) {}

protected:
  void showEvent(QShowEvent *) override {
    QTimer::singleShot(200, [] {
      std::printf("ready\n");
      std::fflush(stdout);
    });
  }
  void mousePressEvent(QMouseEvent *) override {
    auto *drag = new QDrag(this);
    auto *mime = new QMimeData;
    mime->setUrls({url});
    drag->setMimeData(mime);
    const Qt::DropAction action = drag->exec(Qt::CopyAction | Qt::MoveAction | Qt::LinkAction);
    std::printf("drag ended %d\n", static_cast<int>(action));
    std::fflush(stdout);
    QTimer::singleShot(0, qApp, &QApplication::quit);
  }

private:
  const QUrl url;
};
} // namespace

int main(int argc, char **argv) {
  QApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: drag-source URL\n");
    return 2;
  }
  Source source{QUrl(QString::fromLocal8Bit(argv[1]))};
  source.setWindowFlag(Qt::FramelessWindowHint);
  source.setGeometry(0, 0, 120, 120);
  source.show();
  return app.exec();
}
