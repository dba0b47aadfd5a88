// The tree of folders and links: one root at the top, folders and links below it, one record per
// node, at most one selected node. Views follow the tree through a listener.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace kestrix {

enum class LinkKind : uint8_t { Root = 0, Folder = 1, Link = 2 };

// Longest address a link keeps, in characters.
constexpr size_t kMaxLinkURLLength = 255;

struct LinkNodeData {
    LinkKind kind = LinkKind::Root;
    std::string url; // macros unexpanded, at most 255 characters
    int32_t delay = 0;
};

// Which tree commands fit a node of a kind: adding folders and links (root, folder), deleting
// and editing (folder, link), editing macros (link).
struct NodeCommands {
    bool add = false;
    bool deleteOrEdit = false;
    bool editMacros = false;
};
NodeCommands enabledCommands(LinkKind kind);

class LinkNode {
public:
    const std::string& text() const { return text_; }
    const LinkNodeData& data() const { return data_; }
    LinkKind kind() const { return data_.kind; }
    LinkNode* parent() const { return parent_; }
    int childCount() const { return static_cast<int>(children_.size()); }
    LinkNode* child(int i) const { return children_[static_cast<size_t>(i)].get(); }
    bool hasChildren() const { return !children_.empty(); }
    bool expanded() const { return expanded_; }

private:
    friend class LinkTree;
    std::string text_;
    LinkNodeData data_;
    LinkNode* parent_ = nullptr;
    std::vector<std::unique_ptr<LinkNode>> children_;
    bool expanded_ = false;
};

// Told of every change so that a view can follow; the before/after pairs bracket each change.
class LinkTreeListener {
public:
    virtual ~LinkTreeListener() = default;
    virtual void beforeReset() {}
    virtual void afterReset() {}
    virtual void beforeInsert(LinkNode* /*parent*/, int /*row*/) {}
    virtual void afterInsert() {}
    virtual void beforeRemove(LinkNode* /*parent*/, int /*first*/, int /*last*/) {}
    virtual void afterRemove() {}
    virtual void beforeMove(LinkNode* /*from*/, int /*row*/, LinkNode* /*to*/, int /*toRow*/) {}
    virtual void afterMove() {}
    virtual void nodeChanged(LinkNode* /*node*/) {}
    virtual void expansionChanged(LinkNode* /*node*/) {}
    virtual void selectionChanged(LinkNode* /*node*/) {}
};

class LinkTree {
public:
    LinkTree() = default;
    LinkTree(const LinkTree&) = delete;
    LinkTree& operator=(const LinkTree&) = delete;

    void setListener(LinkTreeListener* listener) { listener_ = listener; }

    int topLevelCount() const { return static_cast<int>(top_.size()); }
    LinkNode* topLevel(int i) const { return top_[static_cast<size_t>(i)].get(); }
    LinkNode* root() const { return top_.empty() ? nullptr : top_.front().get(); }
    // Row of a node among its siblings.
    int rowOf(const LinkNode* node) const;
    LinkNode* previousSibling(const LinkNode* node) const;
    LinkNode* nextSibling(const LinkNode* node) const;

    // Releases every node.
    void clear();

    LinkNode* addRootNode(const std::string& name);
    LinkNode* addFolderNode(LinkNode* parent, const std::string& name);
    LinkNode* addLinkNode(LinkNode* target, const std::string& name, const std::string& url,
                          int32_t delay, bool asChild);
    LinkNode* addFolderToSelected(const std::string& name);
    LinkNode* addLinkToSelected(const std::string& name, const std::string& url, int32_t delay);
    void deleteChildren(LinkNode* node);
    // Removes the node and everything below it; a sibling or the parent becomes selected.
    void deleteLinkNode(LinkNode* node);

    void setText(LinkNode* node, const std::string& text);
    // Stores a whole record; the address is cut to 255 characters.
    void setData(LinkNode* node, const LinkNodeData& data);
    // Moves a node to `row` among the children of `newParent` (row counted after its removal).
    void moveNode(LinkNode* node, LinkNode* newParent, int row);

    LinkNode* selected() const { return selected_; }
    // Selects a node and expands the folders above it so that it is visible.
    void select(LinkNode* node);
    void setExpanded(LinkNode* node, bool expanded);
    void setAllExpanded(bool expanded);

    // Position in a pre-order walk of the whole tree, the root being 0; -1 for no node.
    int absoluteIndex(const LinkNode* node) const;
    LinkNode* nodeAt(int index) const;
    int nodeCount() const;

    // Selects the first link in absolute-index order; false (and nothing changes) without links.
    bool selectFirstLink();
    // The selected node, or the nearest folder or root above a selected link.
    LinkNode* findInsertFolder() const;
    bool getSelectedLinkData(LinkNode*& node, LinkNodeData& data) const;
    // Picture of a node: 0/1 root closed/open, 2/3 folder closed/open, 4 link.
    static int updateNodePicture(const LinkNode* node);

    // Visits every node in absolute-index order until `visit` answers true; returns whether it did.
    bool forEachNode(const std::function<bool(LinkNode*)>& visit) const;

private:
    LinkNode* insertNode(LinkNode* parent, std::unique_ptr<LinkNode> node);
    std::vector<std::unique_ptr<LinkNode>>& siblingsOf(const LinkNode* node);
    const std::vector<std::unique_ptr<LinkNode>>& siblingsOf(const LinkNode* node) const;
    bool isWithin(const LinkNode* node, const LinkNode* ancestor) const;

    std::vector<std::unique_ptr<LinkNode>> top_;
    LinkNode* selected_ = nullptr;
    LinkTreeListener* listener_ = nullptr;
    LinkTreeListener silent_;
    LinkTreeListener& notify() { return listener_ ? *listener_ : silent_; }
};

} // namespace kestrix
