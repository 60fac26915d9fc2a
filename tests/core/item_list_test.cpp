#include "core/group_filter.h"
#include "core/item_list.h"
#include "log_capture.h"

#include <QPointer>

#include <gtest/gtest.h>

using namespace tarvesk::core;
using tarvesk::test::LogCapture;

namespace {

// An item whose destructor removes another item from the same list, as a
// device does with the universes it owns.
class CascadingItem : public Item
{
public:
    CascadingItem(ItemList& list, const QString& name)
        : Item(name)
        , _list(list)
    { }
    ~CascadingItem() override
    {
        if (victim)
            _list.remove(victim, true);
    }
    Item* victim = nullptr;

private:
    ItemList& _list;
};

} // namespace

TEST(ItemList, IdsCountFromOneAndReuseTheSmallestFreeId)
{
    ItemList list;
    // Each step: "+" adds a new item and expects the id; "-" removes the item with that id.
    struct Step
    {
        char op;
        int id;
    };
    const Step steps[] = {{'+', 1}, {'+', 2}, {'+', 3}, {'-', 2}, {'+', 2}, {'+', 4}, {'+', 5}, {'-', 5},
        {'-', 2}, {'+', 2}, {'+', 5}, {'+', 6}};
    for (const Step& step : steps) {
        if (step.op == '+') {
            auto* item = new Item(QStringLiteral("i"));
            ASSERT_TRUE(list.add(item));
            EXPECT_EQ(item->getId(), step.id);
            EXPECT_EQ(item->getAttribute(QStringLiteral("id"))->getValue(), QVariant(step.id));
        } else {
            EXPECT_TRUE(list.remove(list.getItem(step.id)));
        }
    }
    EXPECT_EQ(list.count(), 6);
    list.clear();
}

TEST(ItemList, AddKeepsMembersAndRefusesCollidingIds)
{
    ItemList list;
    auto* a = new Item(QStringLiteral("a"));
    list.add(a);
    EXPECT_TRUE(list.add(a)); // already in: unchanged
    EXPECT_EQ(a->getId(), 1);
    EXPECT_EQ(list.count(), 1);

    auto* stranger = new Item(QStringLiteral("stranger"));
    stranger->setId(77); // an id this list never gave out
    EXPECT_TRUE(list.add(stranger));
    EXPECT_EQ(stranger->getId(), 2);

    Item impostor(QStringLiteral("impostor"));
    impostor.setId(1); // the id of a
    LogCapture log;
    EXPECT_FALSE(list.add(&impostor));
    EXPECT_EQ(log.count(QStringLiteral("Refused to add item")), 1);
    EXPECT_EQ(list.getItem(1), a);
    // remove takes the very object only: the impostor shares a's id but is not in the list.
    EXPECT_FALSE(list.remove(&impostor, true));
    EXPECT_EQ(list.getItem(1), a);
    list.clear();
}

TEST(ItemList, RemoveAndClearRespectImmortality)
{
    ItemList list;
    EXPECT_FALSE(list.remove(nullptr));
    Item outsider;
    EXPECT_FALSE(list.remove(&outsider));

    auto* immortal = new Item(QStringLiteral("USB"));
    immortal->setImmortality(true);
    QPointer<Item> watch(immortal);
    list.add(immortal);
    EXPECT_FALSE(list.remove(immortal));
    EXPECT_EQ(list.count(), 1);
    list.clear();
    EXPECT_EQ(list.count(), 0);
    ASSERT_FALSE(watch.isNull()); // dropped, not deleted

    list.add(immortal);
    EXPECT_TRUE(list.remove(immortal, true));
    EXPECT_TRUE(watch.isNull());
}

TEST(ItemList, ClearSurvivesDestructorsThatRemoveOtherItems)
{
    ItemList list;
    auto* first = new CascadingItem(list, QStringLiteral("first"));
    auto* second = new CascadingItem(list, QStringLiteral("second"));
    list.add(first);
    list.add(second);
    first->victim = second; // deleting first removes second: second must not be deleted twice
    QPointer<Item> a(first), b(second);
    list.clear();
    EXPECT_TRUE(a.isNull());
    EXPECT_TRUE(b.isNull());
    EXPECT_EQ(list.count(), 0);
    // Ids carry on after a clear.
    auto* next = new Item;
    list.add(next);
    EXPECT_EQ(next->getId(), 3);
    list.clear();
}

TEST(ItemList, AttributeLookUpsSkipItemsWithoutTheAttribute)
{
    ItemList list;
    auto* bare = new Item; // no "name" attribute at all
    auto* usb = new Item(QStringLiteral("USB"));
    auto* dali = new Item(QStringLiteral("dali"));
    list.add(bare);
    list.add(usb);
    list.add(dali);
    usb->setAttributeValue(QStringLiteral("port"), 8012);

    LogCapture log;
    EXPECT_EQ(list.getItemByAttribute(QStringLiteral("name"), QStringLiteral("usb")),
        usb); // text: case-insensitive
    EXPECT_EQ(log.count(QStringLiteral("Could not find attribute \"name\" for item \"\"")), 1);
    EXPECT_EQ(list.getItemByAttribute(QStringLiteral("port"), 8012), usb);
    EXPECT_EQ(
        list.getItemByAttribute(QStringLiteral("port"), QStringLiteral("8012")), usb); // converted to text
    EXPECT_EQ(list.getItemByAttribute(QStringLiteral("name"), QStringLiteral("none")), nullptr);

    QList<Item*> found;
    list.getItemListByAttribute(found, QStringLiteral("name"), QVariant());
    EXPECT_EQ(found, (QList<Item*> {usb, dali}));
    found.clear();
    list.getItemListByAttribute(found, QStringLiteral("name"), QStringLiteral("dali"));
    EXPECT_EQ(found, QList<Item*> {dali});
    list.clear();
}

TEST(Item, AttributesInNameOrder)
{
    Item item(QStringLiteral("x"));
    item.setId(4);
    item.setAttribute(QStringLiteral("b"),
        new DataValueSet(
            QStringLiteral("b"), QStringLiteral("B"), QStringLiteral("desc"), QStringLiteral("int"), 2));
    ASSERT_EQ(item.getAttributeCount(), 3);
    EXPECT_EQ(item.getAttributeByIndex(0).first, QStringLiteral("b"));
    EXPECT_EQ(item.getAttributeByIndex(1).first, QStringLiteral("id"));
    EXPECT_EQ(item.getAttributeByIndex(2).first, QStringLiteral("name"));
    for (int bad : {-1, 3}) {
        const auto pair = item.getAttributeByIndex(bad);
        EXPECT_EQ(pair.first, QStringLiteral("invalid"));
        EXPECT_EQ(pair.second, nullptr);
    }
    item.setAttributeValue(QStringLiteral("b"), 5); // keeps the stored object's labels
    EXPECT_EQ(item.getAttribute(QStringLiteral("b"))->getDisplayName(), QStringLiteral("B"));
    EXPECT_EQ(item.getAttribute(QStringLiteral("b"))->getValue(), QVariant(5));
    EXPECT_FALSE(Item().hasAttribute(QStringLiteral("name")));
}

TEST(GroupFilter, IncludeAndExclude)
{
    struct Case
    {
        std::vector<std::string> groups;
        GroupFilter::OperationOptionsEnum op;
        std::string group;
        bool included;
    };
    const Case cases[] = {
        {{}, GroupFilter::OPERATION_IN, "a", false},
        {{}, GroupFilter::OPERATION_NOT_IN, "a", true},
        {{"a", "b"}, GroupFilter::OPERATION_IN, "b", true},
        {{"a", "b"}, GroupFilter::OPERATION_IN, "B", false}, // case-sensitive
        {{"a", "b"}, GroupFilter::OPERATION_NOT_IN, "b", false},
        {{"a", "b"}, GroupFilter::OPERATION_NOT_IN, "c", true},
    };
    for (const Case& c : cases) {
        GroupFilter filter;
        filter.setGroups(c.groups);
        filter.setOperation(c.op);
        EXPECT_EQ(filter.isIncluded(c.group), c.included) << c.group;
        EXPECT_EQ(filter.isInclusive(), c.op == GroupFilter::OPERATION_IN);
    }
}
