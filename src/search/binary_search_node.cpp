#include "search/binary_search_node.h"

namespace tarvesk::search {

BinarySearchNode::BinarySearchNode(
    BinarySearchNode* parent, unsigned long long min, unsigned long long max, NodeSide side)
    : _parent(parent)
    , _min(min)
    , _max(max)
    , _side(side)
{ }

BinarySearchNode::~BinarySearchNode() = default;

void BinarySearchNode::createChildren()
{
    if (_left || _min >= _max)
        return;
    const unsigned long long middle = _min + (_max - _min) / 2;
    _left = std::make_unique<BinarySearchNode>(this, _min, middle, LEFT);
    _right = std::make_unique<BinarySearchNode>(this, middle + 1, _max, RIGHT);
}

BinarySearchNode* BinarySearchNode::getLeftChild()
{
    createChildren();
    return _left.get();
}

BinarySearchNode* BinarySearchNode::getRightChild()
{
    createChildren();
    return _right.get();
}

BinarySearchNode* BinarySearchNode::getSibling() const
{
    if (!_parent)
        return nullptr;
    return _side == LEFT ? _parent->_right.get() : _parent->_left.get();
}

void BinarySearchNode::recordCondition(int condition, bool inferred)
{
    _lastCondition = condition;
    _inferred = inferred;
    if (condition != 0)
        _answered = true;
}

} // namespace tarvesk::search
