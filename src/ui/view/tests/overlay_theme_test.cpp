// The overlays' colours, light and dark: every text reads on every glass, whatever the glass lets through.
#include "ui/view/tests/view_test_support.h"

#include <QQmlComponent>
#include <QQmlEngine>

namespace tillory::ui {
namespace {

using namespace testing;

const auto* environment = ::testing::AddGlobalTestEnvironment(new OffscreenApp);

class OverlayThemeTest : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override {
        QQmlComponent component(&engine, QUrl(QStringLiteral("qrc:/tillory/ui/OverlayTheme.qml")));
        theme.reset(component.createWithInitialProperties({{QStringLiteral("dark"), GetParam()}}));
        ASSERT_NE(theme, nullptr) << component.errorString().toStdString();
    }
    QColor color(const char* name) const { return theme->property(name).value<QColor>(); }

    QQmlEngine engine;
    std::unique_ptr<QObject> theme;
};

TEST_P(OverlayThemeTest, TextsReadOnEveryGlassOverWhiteAndOverBlack) {
    const bool dark = GetParam();
    for (const char* glass : {"cardTop", "cardBottom", "paletteGlass", "islandGlass"}) {
        for (const QColor desktop : {QColor(Qt::white), QColor(Qt::black)}) {
            SCOPED_TRACE(std::string(glass) + (desktop == Qt::white ? " over white" : " over black"));
            const QColor under = laidOver(color(glass), desktop);
            EXPECT_TRUE(dark ? luminance(under) < 0.1 : luminance(under) > 0.6) << luminance(under);
            // The secondary texts are small (9 to 12 pixels): held to the full text's 4.5 rather than 3.
            const struct {
                const char* text;
                double least;
            } texts[] = {{"text", 4.5}, {"secondary", 4.5}, {"tertiary", 3.0}};
            for (const auto& t : texts) {
                EXPECT_GE(contrast(laidOver(color(t.text), under), under), t.least) << t.text;
            }
            if (!dark) { // a focus ring or a lit zone stands out from light glass as a control must (3:1)
                EXPECT_GE(contrast(color("accent"), under), 3.0);
            }
        }
    }
}

TEST_P(OverlayThemeTest, ThePalettesChosenRowAndStackNumbersRead) {
    for (const QColor desktop : {QColor(Qt::white), QColor(Qt::black)}) {
        const QColor card = laidOver(color("paletteGlass"), desktop);
        const QColor chosen = laidOver(color("selection"), card);
        EXPECT_GE(contrast(laidOver(color("text"), chosen), chosen), 4.5);
        const QColor disc = laidOver(color("badge"), card);
        EXPECT_GE(contrast(laidOver(color("badgeText"), disc), disc), 4.5);
        // The chosen row stands out from the others.
        EXPECT_GE(contrast(chosen, card), 1.2);
    }
}

TEST_P(OverlayThemeTest, OutlinesShowOnEveryGlass) {
    QVariant outline;
    ASSERT_TRUE(QMetaObject::invokeMethod(theme.get(), "ink", Q_RETURN_ARG(QVariant, outline), Q_ARG(QVariant, 0.14)));
    for (const char* glass : {"cardTop", "cardBottom", "paletteGlass"}) {
        for (const QColor desktop : {QColor(Qt::white), QColor(Qt::black)}) {
            const QColor under = laidOver(color(glass), desktop);
            EXPECT_GE(contrast(laidOver(outline.value<QColor>(), under), under), 1.2) << glass;
        }
    }
    for (const QColor desktop : {QColor(Qt::white), QColor(Qt::black)}) {
        const QColor under = laidOver(color("islandGlass"), desktop);
        EXPECT_GE(contrast(laidOver(color("islandEdge"), under), under), 1.1);
    }
}

INSTANTIATE_TEST_SUITE_P(LightAndDark, OverlayThemeTest, ::testing::Values(false, true),
                         [](const auto& scheme) { return scheme.param ? "Dark" : "Light"; });

} // namespace
} // namespace tillory::ui
