#pragma once

#include <memory>

namespace tillory::platform {

/// Ends a notification subscription when destroyed.
class Subscription {
public:
    virtual ~Subscription() = default;
};
using SubscriptionPtr = std::unique_ptr<Subscription>;

} // namespace tillory::platform
