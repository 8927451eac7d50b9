// What "pelixcfg list" prints: one line per record, its free text last, so
// that the lines read well and split well at blanks. Passwords are never
// shown.
#pragma once

#include <string>

#include "tools/config_text.h"

// "2:5020/1 f passive autocreate Sysop Name", "-" for a flag that is off.
std::string LinkListing(const ConfigText& node);
// "TAG passthrough Description", "-" when not, then one indented line per
// subscribed link as the text form's "link =" shows it.
std::string EchoListing(const ConfigText& node);
