// The orders of the "&Sort" buttons. Each tells whether record `b` sorts
// before record `a`; records that sort equal keep their order in the list.
#pragma once

#include "common/records.h"

// By address: zone, net, node, point, each as an unsigned 16-bit number.
// The domain part plays no role; an address without a zone ("10/3") sorts by
// the number before the "/".
bool LinkSortsBefore(const LinkRecord& b, const LinkRecord& a);

// By tag, byte by byte with the letters a to z taken as A to Z; a tag that
// begins another sorts first.
bool EchoSortsBefore(const FileEchoRecord& b, const FileEchoRecord& a);
