#include "run_strip.h"

#include "twips.h"

#include <QPushButton>

namespace dravonel {

namespace {

// Margins of 120 twips around the buttons, gaps of 105 between them.
constexpr double kMargin = 120, kGap = 105;

} // namespace

RunStrip::RunStrip(QWidget* parent) : QWidget(parent), btnCancel(new QPushButton(this)) {
    for (int i = 0; i < 4; ++i) {
        btnExe[size_t(i)] = new QPushButton(this);
        btnExe[size_t(i)]->setObjectName(QStringLiteral("btnExe%1").arg(i));
    }
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    setFixedHeight(toPixels(615));
}

QSize RunStrip::buttonSize() const {
    // 1335 x 375 twips, or what the largest caption needs in the font in use.
    QSize size = toPixels(1335, 375);
    for (int i = 0; i < 5; ++i)
        size = size.expandedTo(button(i)->sizeHint());
    return size;
}

int RunStrip::neededHeight() const {
    return std::max(toPixels(615), buttonSize().height() + 2 * toPixels(kMargin));
}

int RunStrip::neededWidth() const {
    return 2 * toPixels(kMargin) + 5 * buttonSize().width() + 4 * toPixels(kGap);
}

void RunStrip::layOut(int windowWidth) {
    const QSize size = buttonSize();
    const int margin = toPixels(kMargin), gap = toPixels(kGap);
    setFixedHeight(neededHeight());
    for (int i = 0; i < 4; ++i)
        btnExe[size_t(i)]->setGeometry(margin + i * (size.width() + gap), margin, size.width(),
                                       size.height());
    const int x =
        std::max(windowWidth - toPixels(60) - size.width(), margin + 4 * (size.width() + gap));
    btnCancel->setGeometry(x, margin, size.width(), size.height());
}

} // namespace dravonel
