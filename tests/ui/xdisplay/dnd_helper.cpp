// A peer for the drag-and-drop checks on a real X display.
//   dnd_helper source FILE...   a window that drags the files as file URLs
//                               when pressed with the left button, offering
//                               a copy or a move and proposing the move (as a
//                               file manager does with Shift held); prints
//                               the action the drop ended in
//   dnd_helper target           a window that prints the URLs dropped on it,
//                               one a line, and ends after the first drop
#include <QApplication>
#include <QDrag>
#include <QDropEvent>
#include <QLabel>
#include <QMimeData>
#include <QMouseEvent>
#include <QTimer>
#include <QUrl>

#include <cstdio>

namespace {

class Source : public QLabel {
public:
    explicit Source(QList<QUrl> urls)
        : QLabel(QStringLiteral("drag source")), urls_(std::move(urls)) {}

protected:
    void mousePressEvent(QMouseEvent* event) override {
        if (event->button() != Qt::LeftButton)
            return;
        auto* drag = new QDrag(this);
        auto* data = new QMimeData;
        data->setUrls(urls_);
        drag->setMimeData(data);
        const Qt::DropAction action = drag->exec(Qt::CopyAction | Qt::MoveAction, Qt::MoveAction);
        std::printf("drag ended: %d\n", int(action));
        std::fflush(stdout);
    }

private:
    QList<QUrl> urls_;
};

class Target : public QLabel {
public:
    Target() : QLabel(QStringLiteral("drop target")) { setAcceptDrops(true); }

protected:
    void dragEnterEvent(QDragEnterEvent* event) override {
        if (event->mimeData()->hasUrls())
            event->acceptProposedAction();
    }
    void dropEvent(QDropEvent* event) override {
        std::printf("action: %d\n", int(event->dropAction()));
        for (const QUrl& url : event->mimeData()->urls())
            std::printf("%s\n", url.toString().toUtf8().constData());
        std::fflush(stdout);
        event->acceptProposedAction();
        // Quit once the drag has finished on both sides.
        QTimer::singleShot(200, qApp, &QApplication::quit);
    }
};

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    QLabel* window = nullptr;
    if (args.value(1) == QLatin1String("source")) {
        QList<QUrl> urls;
        for (int i = 2; i < args.size(); ++i)
            urls << QUrl::fromLocalFile(args.at(i));
        window = new Source(urls);
    } else if (args.value(1) == QLatin1String("target")) {
        window = new Target;
    } else {
        std::fprintf(stderr, "usage: dnd_helper source FILE... | target\n");
        return 2;
    }
    window->setAlignment(Qt::AlignCenter);
    window->setWindowTitle(args.value(1));
    window->resize(200, 150);
    window->show();
    return app.exec();
}
