// The backends the contract cases of this program run against.
#pragma once

#include <gtest/gtest.h>

#include "win32_rig.h"

namespace qov::contract {
using ContractRigs = ::testing::Types<Win32Rig>;
}  // namespace qov::contract
