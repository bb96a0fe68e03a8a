// Context checks of the Camera SDK callbacks.
#ifndef KQSDK_BRIDGE_CONTEXT_CHECK_H
#define KQSDK_BRIDGE_CONTEXT_CHECK_H

#include <atomic>

#include "bridge/sdk_wrapper.h"

namespace kq {

using ContextField = std::atomic<CSDKWrapper*>;

// For the subscriptions whose context is the address of a context field:
// the context must be non-null, the field it points to must hold a
// CSDKWrapper, and the context must be that very field of that object, as
// `fieldOf` names it. Returns the object, or null when the context does not
// check out (a cleared field after clean-up, or a foreign context).
template <typename FieldOf>
CSDKWrapper* OwnerOfContextField(void* context, FieldOf fieldOf) {
    if (context == nullptr) return nullptr;
    auto* field = static_cast<ContextField*>(context);
    CSDKWrapper* owner = field->load();
    if (owner == nullptr) return nullptr;
    return &fieldOf(*owner) == field ? owner : nullptr;
}

}  // namespace kq

#endif  // KQSDK_BRIDGE_CONTEXT_CHECK_H
