// The one guard of the exports: every export that can meet an exception
// (in practice a failed allocation) runs its body through noThrow, so that
// no exception crosses the API; the export then returns its failure result.
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

}  // namespace qov
