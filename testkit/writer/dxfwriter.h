// DXF files composed from the same drawing the DWG writer composes, so that
// a test reads one drawing as DWG and as DXF and holds them against each
// other:
//
//   dwgw::R2000Drawing d;
//   d.addText("AB");
//   const dwgw::Bytes dwg = d.build();
//   const dwgw::Bytes dxf = dwgw::composeDxf(d, {.encoding = dwgw::DxfEncoding::Binary});
//
// The file holds a HEADER section ($ACADVER, $DWGCODEPAGE and the times),
// the BLOCKS section (a block definition holding the first
// `entitiesInBlock` entities, when not 0), the ENTITIES section (the other
// entities, in the order added) and, with properties, an OBJECTS section
// holding the DWGPROPS record. Each entity is written with the groups the
// DXF reference gives it; objects that are no entity are left out.
//
// Texts: before R2007 the bytes as the drawing holds them, from R2007 on
// UTF-8 (each byte of a DWG text stands for the character of that number,
// as the DWG writer widens it); the properties' texts as SummaryInfo has
// them. ASCII files write control characters as caret codes.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "documentinfo.h"
#include "dwgwriter.h"

namespace dwgw {

enum class DxfEncoding { Ascii, Binary };

struct DxfOptions {
    DxfEncoding encoding = DxfEncoding::Ascii;
    std::string lineEnd = "\r\n";
    std::string codePage = "ANSI_1252";
    // The version text; default: the drawing's. Binary files before AC1012
    // write one-byte group codes.
    std::optional<std::string> version;
    std::size_t entitiesInBlock = 0;
    // The DWGPROPS record and the header's times.
    std::optional<SummaryInfo> properties;
};

Bytes composeDxf(const Drawing& drawing, const DxfOptions& options = {});

}  // namespace dwgw
