#include "platform/hooks.h"

#include "platform/platform.h"

namespace kq::platform {

namespace detail {
std::atomic<SleepFn> sleepHook{nullptr};
std::atomic<MessageBoxFn> messageBoxHook{nullptr};
}  // namespace detail

void SetHooksForTesting(const Hooks* hooks) {
    detail::sleepHook.store(hooks ? hooks->sleep : nullptr);
    detail::messageBoxHook.store(hooks ? hooks->messageBox : nullptr);
}

}  // namespace kq::platform
