#include "clipboard/view/quick_palette_panel.h"

#include "clipboard/clipboard_palette_controller.h"
#include "ui/view/screen_space.h"

#include <QPainterPath>
#include <QQuickItem>
#include <QQuickView>
#include <QRegion>

namespace tillory::clipboard {
namespace {

class QuickPalettePanel final : public PalettePanel {
public:
    explicit QuickPalettePanel(ClipboardPaletteController* controller) : controller_(controller) {
        view_.setFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::WindowDoesNotAcceptFocus);
        view_.setColor(Qt::transparent);
        view_.setResizeMode(QQuickView::SizeViewToRootObject);
        view_.setInitialProperties({{QStringLiteral("controller"), QVariant::fromValue<QObject*>(controller)}});
        view_.setSource(QUrl(QStringLiteral("qrc:/tillory/clipboard/ClipboardPaletteView.qml")));
    }

    void present(platform::Rect frame) override {
        // The window is only the card (without a compositor the rest of the panel would not be see-through):
        // it keeps the panel's top edge when the list drops down and its bottom edge otherwise.
        const QRect panel = ui::toWindowGeometry(frame);
        const int cardHeight = int(ClipboardPaletteController::kListChrome +
                                   ClipboardPaletteController::kRowHeight * controller_->rows().size());
        const int top = controller_->dropsDown() ? panel.top() : panel.bottom() + 1 - cardHeight;
        view_.setGeometry(panel.x(), top, panel.width(), cardHeight);
        QPainterPath rounded;
        rounded.addRoundedRect(QRectF(0, 0, panel.width(), cardHeight), 12, 12);
        view_.setMask(QRegion(rounded.toFillPolygon().toPolygon()));
        view_.show();
        view_.raise();
    }

    void orderOut() override { view_.hide(); }

    std::uint64_t windowId() const override { return static_cast<std::uint64_t>(view_.winId()); }

    QQuickView& view() { return view_; }

private:
    QPointer<ClipboardPaletteController> controller_;
    QQuickView view_;
};

} // namespace

void QuickPalettePanelFactory::setController(ClipboardPaletteController* controller) {
    controller_ = controller;
}

std::unique_ptr<PalettePanel> QuickPalettePanelFactory::create() {
    if (!controller_) {
        return nullptr;
    }
    return std::make_unique<QuickPalettePanel>(controller_);
}

} // namespace tillory::clipboard
