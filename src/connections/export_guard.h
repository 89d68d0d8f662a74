// Keeps exceptions (in practice: a failed allocation while copying a name)
// from crossing an export: the export then returns its failure result.
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
