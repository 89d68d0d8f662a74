// The one guard of the exports: every export runs its whole body through
// noThrow, so that no exception (in practice a failed allocation) crosses the
// API; the export then returns its failure result. scripts/check_guards.sh
// fails the build's checks when an export's body does not start with it.
#pragma once

#include <utility>

namespace qov {

template <class R, class F>
R noThrow(R onError, F&& body) noexcept {
    try {
        return std::forward<F>(body)();
    } catch (...) {
        return onError;
    }
}

// For the exports that return nothing.
template <class F>
void noThrow(F&& body) noexcept {
    try {
        std::forward<F>(body)();
    } catch (...) {
    }
}

}  // namespace qov
