#pragma once

#include "texts/texts.h"

namespace brevalt {

// How much a told event matters, in the system log's own terms. Events above
// info also reach the operator as a notification.
enum class Priority { err, warning, notice, info };

// Something to tell: how much it matters and what it says. Every duty that
// has something to say hands it over as news; only the telling says it.
struct News {
    Priority priority = Priority::info;
    Text text;
    bool operator==(const News&) const = default;
};

}  // namespace brevalt
