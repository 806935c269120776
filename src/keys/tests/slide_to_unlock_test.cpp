#include "keys/slide_to_unlock.h"

#include <gtest/gtest.h>

namespace tillory::keys {
namespace {

class SlideToUnlockTest : public ::testing::Test {
protected:
    SlideToUnlockTest() {
        QObject::connect(&slider_, &SlideToUnlock::offsetChanged, [this] { ++offsetChanges_; });
        QObject::connect(&slider_, &SlideToUnlock::unlockedChanged, [this] { ++unlockedChanges_; });
        QObject::connect(&slider_, &SlideToUnlock::labelOpacityChanged, [this] { ++opacityChanges_; });
        QObject::connect(&slider_, &SlideToUnlock::knobSymbolChanged, [this] { ++symbolChanges_; });
        QObject::connect(&slider_, &SlideToUnlock::unlockRequested, [this] { ++unlockRequests_; });
    }

    /// A press, a drag to `x` (starting with a move that certainly begins the drag) and a release.
    void slideTo(double x) {
        slider_.dragChanged(10, 0);
        slider_.dragChanged(x, 0);
        slider_.released();
    }

    SlideToUnlock slider_;
    int offsetChanges_ = 0;
    int unlockedChanges_ = 0;
    int opacityChanges_ = 0;
    int symbolChanges_ = 0;
    int unlockRequests_ = 0;
};

TEST_F(SlideToUnlockTest, ReleaseJustShortOfTheThresholdSlidesBack) {
    slider_.dragChanged(215, 0);
    EXPECT_DOUBLE_EQ(slider_.offset(), 215);
    slider_.released();

    EXPECT_DOUBLE_EQ(slider_.offset(), 0);
    EXPECT_FALSE(slider_.unlocked());
    EXPECT_EQ(unlockRequests_, 0);
    EXPECT_EQ(slider_.knobSymbol(), QStringLiteral("chevron.right.2"));
}

TEST_F(SlideToUnlockTest, ReleaseAtTheThresholdUnlocksAndAsksOnce) {
    slider_.dragChanged(216, 3);
    slider_.released();

    EXPECT_TRUE(slider_.unlocked());
    EXPECT_DOUBLE_EQ(slider_.offset(), 240);
    EXPECT_EQ(slider_.knobSymbol(), QStringLiteral("checkmark"));
    EXPECT_EQ(unlockRequests_, 1);
    EXPECT_EQ(unlockedChanges_, 1);
    EXPECT_EQ(symbolChanges_, 1);

    // The knob stays at the end; further gestures ask for nothing more.
    slider_.released();
    slideTo(10);
    slideTo(239);
    EXPECT_EQ(unlockRequests_, 1);
    EXPECT_DOUBLE_EQ(slider_.offset(), 240);
}

TEST_F(SlideToUnlockTest, MovesUnderTenPointsFromThePressAreNotADrag) {
    slider_.dragChanged(6, 7); // 9.2 points away
    slider_.dragChanged(-9.9, 0);
    EXPECT_DOUBLE_EQ(slider_.offset(), 0);
    EXPECT_EQ(offsetChanges_, 0);
    slider_.released();
    EXPECT_EQ(offsetChanges_, 0);

    // Ten points straight down begins the drag; sideways movement then moves the knob even when small.
    slider_.dragChanged(0, 10);
    slider_.dragChanged(3, 10);
    EXPECT_DOUBLE_EQ(slider_.offset(), 3);
    slider_.dragChanged(6, 8);
    EXPECT_DOUBLE_EQ(slider_.offset(), 6);
}

TEST_F(SlideToUnlockTest, OffsetStaysWithinTheTravel) {
    slider_.dragChanged(-40, 0);
    EXPECT_DOUBLE_EQ(slider_.offset(), 0);
    slider_.dragChanged(500, 0);
    EXPECT_DOUBLE_EQ(slider_.offset(), 240);
    slider_.dragChanged(-500, 0);
    EXPECT_DOUBLE_EQ(slider_.offset(), 0);
}

TEST_F(SlideToUnlockTest, FreshDragAfterSnapBackStartsFromItsOwnTranslation) {
    slideTo(150);
    EXPECT_DOUBLE_EQ(slider_.offset(), 0);

    slider_.dragChanged(5, 0); // a new press: under ten points again
    EXPECT_DOUBLE_EQ(slider_.offset(), 0);
    slider_.dragChanged(40, 0);
    EXPECT_DOUBLE_EQ(slider_.offset(), 40);
    slider_.dragChanged(230, 0);
    slider_.released();
    EXPECT_TRUE(slider_.unlocked());
}

TEST_F(SlideToUnlockTest, LabelFadesWithTheKnobButNeverBelowItsFloor) {
    EXPECT_DOUBLE_EQ(slider_.labelOpacity(), 0.7);
    slider_.dragChanged(60, 0);
    EXPECT_DOUBLE_EQ(slider_.labelOpacity(), 0.45);
    slider_.dragChanged(120, 0);
    EXPECT_DOUBLE_EQ(slider_.labelOpacity(), 0.2);
    slider_.dragChanged(132, 0);
    EXPECT_NEAR(slider_.labelOpacity(), 0.15, 1e-12);
    slider_.dragChanged(200, 0);
    EXPECT_DOUBLE_EQ(slider_.labelOpacity(), 0.15);
    slider_.dragChanged(240, 0);
    EXPECT_DOUBLE_EQ(slider_.labelOpacity(), 0.15);
}

TEST_F(SlideToUnlockTest, ChangesAreSignalledOnlyWhenValuesMove) {
    slider_.dragChanged(60, 0);
    slider_.dragChanged(60, 5);
    EXPECT_EQ(offsetChanges_, 1);
    EXPECT_EQ(opacityChanges_, 1);

    slider_.dragChanged(200, 0);
    slider_.dragChanged(220, 0); // label already at its floor
    EXPECT_EQ(offsetChanges_, 3);
    EXPECT_EQ(opacityChanges_, 2);
    EXPECT_EQ(unlockedChanges_, 0);
    EXPECT_EQ(symbolChanges_, 0);
}

} // namespace
} // namespace tillory::keys
