// The backends the contract cases of this program run against.
#pragma once

#include <gtest/gtest.h>

#include "posix_rig.h"

namespace qov::contract {
using ContractRigs = ::testing::Types<PosixRig>;
}  // namespace qov::contract
