// The normalisation that the opens apply to a name the spooler rejected.
#pragma once

#include <string>

namespace qov {

// Upper-cases every character, then cuts trailing and leading white space
// ("  usb\t" becomes "USB"). Works on names of any length.
void normalizePortName(std::string& name);

}  // namespace qov
