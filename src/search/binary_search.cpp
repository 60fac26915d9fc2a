#include "search/binary_search.h"

#include "search/binary_search_node.h"

#include <iostream>

namespace tarvesk::search {

BinarySearch::BinarySearch(unsigned long long min, unsigned long long max)
    : _min(min)
    , _max(max)
{ }

BinarySearch::~BinarySearch() = default;

void BinarySearch::newTree()
{
    _previousRoot = std::move(_root);
    _root = std::make_unique<BinarySearchNode>(nullptr, _min, _max, BinarySearchNode::ROOT);
    _current = _root.get();
}

int BinarySearch::startSearch(SearchType type)
{
    newTree();
    return unmuteAll(type);
}

void BinarySearch::endSearch()
{
    _current = nullptr;
    _root.reset();
    _previousRoot.reset();
    finalise();
}

BinarySearchNode* BinarySearch::step()
{
    BinarySearchNode* node = _current;
    if (!node)
        return nullptr;
    BinarySearchCondition condition = NO_REPLY;
    bool inferred = false;
    if (_inferRightHalves && node->getNodeSide() == BinarySearchNode::RIGHT
        && !node->getSibling()->hasAnswered()) {
        condition = MULTIPLE_REPLIES; // one or more: the parent could not tell
        inferred = true;
    } else {
        condition = checkCondition(node);
    }
    if (condition == STEP_PAUSED)
        return nullptr;
    node->recordCondition(condition, inferred);
    switch (condition) {
    case MULTIPLE_REPLIES:
    case SINGLE_REPLY:
        if (node->isSingleAddress())
            node->setFinished(true);
        else
            _current = node->getLeftChild();
        break;
    case NO_REPLY:
        leave(node);
        break;
    case SEARCH_FAILED:
    case STEP_PAUSED:
        _current = nullptr;
        break;
    }
    return _current;
}

void BinarySearch::leave(BinarySearchNode* node)
{
    if (!node)
        return;
    switch (node->getNodeSide()) {
    case BinarySearchNode::ROOT:
        _current = nullptr;
        return;
    case BinarySearchNode::LEFT:
        _current = node->getSibling();
        return;
    case BinarySearchNode::RIGHT:
        break;
    }
    // Both halves of the parent are done: climb to the first ancestor that is
    // a left half of an unfinished parent and go on at its sibling.
    BinarySearchNode* n = node->getParent();
    n->setFinished(true);
    for (;;) {
        if (n->getNodeSide() == BinarySearchNode::ROOT) {
            _current = nullptr;
            return;
        }
        if (n->getNodeSide() == BinarySearchNode::RIGHT) {
            n = n->getParent();
            n->setFinished(true);
            continue;
        }
        BinarySearchNode* parent = n->getParent();
        if (!parent->getFinished()) {
            _current = parent->getRightChild();
            return;
        }
        n = parent;
    }
}

BinarySearchNode* BinarySearch::searchSingle()
{
    if (!_current)
        return nullptr;
    for (;;) {
        BinarySearchNode* node = step();
        if (!node) {
            if (_current) // paused
                return nullptr;
            if (nextPass())
                continue;
            return nullptr;
        }
        if (!node->getFinished())
            continue;
        if (!finalCheck(node)) {
            if (_current == node)
                leave(node);
            continue;
        }
        mute(node);
        finalVerify(node);
        if (_current == node)
            leave(node);
        // A pass that ended here goes on at once, so that the next request
        // finds the search either running or over.
        if (!_current && !nextPass())
            return muteRecorded() ? node : nullptr;
        // A device that gave its address back was not found: this step goes
        // on, so that it answers nothing only when nobody is left to find.
        if (!muteRecorded())
            continue;
        return node;
    }
}

void BinarySearch::work()
{
    startSearch(SEARCH_ALL);
    while (searchSingle()) { }
    endSearch();
}

bool BinarySearch::doStep(const QString& stepName)
{
    static const QString queryPrefix = QStringLiteral("query_");
    if (stepName.startsWith(queryPrefix)) {
        bool ok = false;
        const int number = stepName.mid(queryPrefix.size()).toInt(&ok, 10);
        if (!ok)
            return false;
        queryStep(number);
        return true;
    }
    if (stepName == QLatin1String("initialise_all") || stepName == QLatin1String("initialise_new")) {
        startSearch(SEARCH_ALL);
        return true;
    }
    if (stepName == QLatin1String("search_single")) {
        searchSingle();
        return true;
    }
    if (stepName == QLatin1String("end_search")) {
        endSearch();
        return true;
    }
    return false;
}

void BinarySearch::debugPrintMute(const BinarySearchNode* node)
{
    if (node)
        std::cout << "*** Mute " << node->getMinValue() << " - " << node->getMaxValue() << std::endl;
}

} // namespace tarvesk::search
