// Instant-message recipients from the browse tree: the selected node, the member
// node at or above it (FindUser) and that member's key (UserKeyForNode).
#pragma once

#include "browse/MemberDirectory.h"
#include "chat/InstantMessages.h"

#include <QPersistentModelIndex>

namespace zestrel
{

class TreeRecipients : public RecipientSource
{
  public:
    explicit TreeRecipients(MemberDirectory &members) : members_(members) {}

    std::optional<QString> SelectedNodeText() const override
    {
        const QModelIndex node = members_.tree.tvUsersSelection.currentIndex();
        if (!node.isValid())
            return std::nullopt;
        return node.data().toString();
    }
    void RememberRecipient() override
    {
        const QModelIndex user = members_.FindUser(members_.tree.tvUsersSelection.currentIndex());
        if (user.isValid())
            recipientNode_ = user;
    }
    QString RecipientKey() const override
    {
        return members_.UserKeyForNode(BrowseTree::NodeKey(recipientNode_));
    }

  private:
    MemberDirectory &members_;
    // The member node of the last recipient.
    QPersistentModelIndex recipientNode_;
};

} // namespace zestrel
