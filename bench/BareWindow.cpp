// The baseline of the time to the first picture: a bare Qt widget program that paints its window
// in one strong colour and says so on its first paint, as the program says it of its first
// camera picture. bench_capture starts both the same way.
#include <QApplication>
#include <QPainter>
#include <QWidget>

#include <cstdio>

namespace {

class CColourWindow : public QWidget {
protected:
    void paintEvent(QPaintEvent*) override {
        QPainter(this).fillRect(rect(), QColor(255, 0, 255));
        if (!m_painted) {
            m_painted = true;
            std::fprintf(stderr, "first picture painted\n");
            std::fflush(stderr);
        }
    }

private:
    bool m_painted = false;
};

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    CColourWindow window;
    window.resize(640, 480);
    window.show();
    return app.exec();
}
