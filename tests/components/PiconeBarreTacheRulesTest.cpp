#include "components/PiconeBarreTacheRules.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using namespace PiconeBarreTacheRules;

TEST(PiconeBarreTacheRules, OrderListAcceptsOnlyDigitsAndCommas)
{
    const struct
    {
        QString order;
        bool valid;
        int count;
    } table[] = {
        { QString(), true, 0 }, { QStringLiteral("0"), true, 1 }, { QStringLiteral("0,2,1"), true, 3 },
        { QStringLiteral(",,"), true, 3 }, { QStringLiteral("12,"), true, 2 },
        { QStringLiteral("0, 2,1"), false, 0 }, { QStringLiteral("1;2"), false, 0 },
        { QStringLiteral("-1"), false, 0 }, { QStringLiteral("١"), false, 0 }, // a digit, but not 0-9
    };
    for (const auto &row : table) {
        EXPECT_EQ(IsValidOrder(row.order), row.valid) << row.order.toStdString();
        if (row.valid) {
            EXPECT_NO_THROW(CheckOrder(row.order));
            EXPECT_EQ(OrderCount(row.order), row.count) << row.order.toStdString();
        } else {
            try {
                CheckOrder(row.order);
                ADD_FAILURE() << "accepted " << row.order.toStdString();
            } catch (const ExceptionNumsImageLIstAffiche &e) {
                EXPECT_EQ(e.message(),
                    QStringLiteral("Erreur dans PiconeBarreTache : Mauvaise entrée dans "
                                   "NumsImageListAffiche. Mettre les numéros des images de la liste "
                                   "(ImageList) que vous voulez voir défiler séparés par des virgules"));
            }
        }
    }
}

TEST(PiconeBarreTacheRules, HintIsCutTo63Characters)
{
    const QString hundred = QString(100, u'h');
    EXPECT_EQ(TipText(hundred), QString(63, u'h'));
    EXPECT_EQ(TipText(QStringLiteral("Voxlane")), QStringLiteral("Voxlane"));
    EXPECT_EQ(TipText(QString(63, u'é')).size(), 63);
}

TEST(PiconeBarreTacheRules, ItemsAreTheTextsBetweenCommas)
{
    EXPECT_EQ(OrderItem(QStringLiteral("4,,7"), 0), 4);
    EXPECT_EQ(OrderItem(QStringLiteral("4,,7"), 1), 0);
    EXPECT_EQ(OrderItem(QStringLiteral("4,,7"), 2), 7);
    EXPECT_EQ(OrderItem(QStringLiteral("4,99999999999"), 1), 0); // beyond an int
}

std::vector<int> steps(AnimationState state, const QString &order, int images, int n)
{
    std::vector<int> shown;
    for (int i = 0; i < n; ++i)
        shown.push_back(AnimationStep(state, order, images));
    return shown;
}

TEST(PiconeBarreTacheRules, AnimationFollowsTheOrderListOrCyclesThroughAllImages)
{
    EXPECT_EQ(steps({}, QStringLiteral("0,2,1"), 3, 6), (std::vector<int> { 2, 1, 0, 2, 1, 0 }));
    EXPECT_EQ(steps({}, QString(), 3, 5), (std::vector<int> { 1, 2, 0, 1, 2 }));
    // An item beyond the list shows the last image.
    EXPECT_EQ(steps({}, QStringLiteral("0,7,1"), 3, 3), (std::vector<int> { 2, 1, 0 }));
    EXPECT_EQ(steps({}, QStringLiteral("0,300"), 3, 2), (std::vector<int> { 2, 0 }));
    // No images: nothing to show.
    EXPECT_EQ(steps({}, QStringLiteral("0,1"), 0, 2), (std::vector<int> { -1, -1 }));
    // Started from an image beyond the list, the cycle goes back to 0.
    EXPECT_EQ(steps({ 5, 0 }, QString(), 3, 2), (std::vector<int> { 0, 1 }));
}

TEST(PiconeBarreTacheRules, OnlyImagesOfTheListUpTo255CanBeShown)
{
    EXPECT_TRUE(CanShowImage(0, 3));
    EXPECT_TRUE(CanShowImage(2, 3));
    EXPECT_FALSE(CanShowImage(5, 3));
    EXPECT_FALSE(CanShowImage(-1, 3));
    EXPECT_FALSE(CanShowImage(0, 0));
    EXPECT_TRUE(CanShowImage(255, 300));
    EXPECT_FALSE(CanShowImage(256, 300));
}

} // namespace
