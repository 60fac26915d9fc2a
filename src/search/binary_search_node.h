#pragma once

#include <memory>

namespace tarvesk::search {

// One address range of a binary search: [min, max] with its two halves, made
// on demand. The node owns its children; the search owns the root.
class BinarySearchNode
{
public:
    enum NodeSide { LEFT = 0, RIGHT = 1, ROOT = 2 };

    BinarySearchNode(BinarySearchNode* parent, unsigned long long min, unsigned long long max, NodeSide side);
    ~BinarySearchNode();

    BinarySearchNode(const BinarySearchNode&) = delete;
    BinarySearchNode& operator=(const BinarySearchNode&) = delete;

    unsigned long long getMinValue() const { return _min; }
    unsigned long long getMaxValue() const { return _max; }
    bool isSingleAddress() const { return _min == _max; }
    BinarySearchNode* getParent() const { return _parent; }
    NodeSide getNodeSide() const { return _side; }
    bool getFinished() const { return _finished; }
    void setFinished(bool finished) { _finished = finished; }

    // The left half is [min, min + (max - min) / 2], the right half the rest.
    // Both are made together, once; a one-address range has none.
    void createChildren();
    BinarySearchNode* getLeftChild();
    BinarySearchNode* getRightChild();
    BinarySearchNode* getSibling() const;

    // What the bus said about this range the last time: whether anything ever
    // answered, the last condition, and whether that condition was inferred
    // from the neighbours instead of asked.
    bool hasAnswered() const { return _answered; }
    int getLastCondition() const { return _lastCondition; }
    bool wasInferred() const { return _inferred; }
    void recordCondition(int condition, bool inferred);

private:
    BinarySearchNode* _parent; // null for the root
    unsigned long long _min;
    unsigned long long _max;
    NodeSide _side;
    bool _finished = false;
    bool _answered = false;
    int _lastCondition = 0;
    bool _inferred = false;
    std::unique_ptr<BinarySearchNode> _left;
    std::unique_ptr<BinarySearchNode> _right;
};

} // namespace tarvesk::search
