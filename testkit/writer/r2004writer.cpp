#include "r2004writer.h"

#include <algorithm>
#include <stdexcept>

namespace dwgw {

namespace {

constexpr std::size_t kSealedAt = 0x80;
constexpr std::size_t kSealedLength = 0x6C;
constexpr std::size_t kFirstPage = 0x100;
constexpr std::size_t kPageAlign = 0x20;
constexpr std::size_t kDataHeader = 0x20;
constexpr std::uint32_t kDataPageType = 0x4163043B;
constexpr std::uint32_t kDataPageMask = 0x4164536B;
constexpr std::uint32_t kPageMapType = 0x41630E3B;
constexpr std::uint32_t kSectionMapType = 0x4163003B;

// The sequence the header at 0x80 is sealed with, and that fills the 0x14
// bytes after it.
Bytes sealingSequence(std::size_t count)
{
    Bytes bytes(count);
    std::uint32_t state = 1;
    for (auto& byte : bytes) {
        state = state * 0x343FDu + 0x269EC3u;
        byte = static_cast<std::uint8_t>(state >> 16);
    }
    return bytes;
}

void put32(Bytes& bytes, std::size_t at, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i) {
        bytes.at(at + i) = static_cast<std::uint8_t>(value >> (8 * i));
    }
}

void put64(Bytes& bytes, std::size_t at, std::uint64_t value)
{
    put32(bytes, at, static_cast<std::uint32_t>(value));
    put32(bytes, at + 4, static_cast<std::uint32_t>(value >> 32));
}

void append32(Bytes& bytes, std::uint32_t value)
{
    bytes.resize(bytes.size() + 4);
    put32(bytes, bytes.size() - 4, value);
}

void append64(Bytes& bytes, std::uint64_t value)
{
    bytes.resize(bytes.size() + 8);
    put64(bytes, bytes.size() - 8, value);
}

std::size_t aligned(std::size_t size)
{
    return (size + kPageAlign - 1) / kPageAlign * kPageAlign;
}

const char* sectionName(ContainerSection section)
{
    switch (section) {
    case ContainerSection::Header: return "AcDb:Header";
    case ContainerSection::Classes: return "AcDb:Classes";
    case ContainerSection::Handles: return "AcDb:Handles";
    case ContainerSection::Objects: return "AcDb:AcDbObjects";
    case ContainerSection::SummaryInfo: return "AcDb:SummaryInfo";
    case ContainerSection::AppInfo: return "AcDb:AppInfo";
    }
    return "";
}

struct SectionPlan {
    ContainerSection section;
    const Bytes* bytes;
    std::uint32_t id;
    std::vector<PageDraft> pages;
    std::uint64_t lead = 0;  // section bytes before the first, covered by no page
};

// Cuts a section into pages; zero pages are dropped when asked.
void cutPages(SectionPlan& plan, const ContainerOptions& options, std::uint32_t& nextNumber)
{
    const Bytes& data = *plan.bytes;
    for (std::size_t start = 0, index = 0; start < data.size(); start += options.pageSize) {
        const std::size_t end = std::min(data.size(), start + options.pageSize);
        const Bytes piece(data.begin() + static_cast<std::ptrdiff_t>(start), data.begin() + static_cast<std::ptrdiff_t>(end));
        if (options.omitZeroPages && std::all_of(piece.begin(), piece.end(), [](std::uint8_t b) { return b == 0; })) {
            continue;
        }
        PageDraft draft{plan.section, index++, nextNumber++, plan.lead + start, compressLiterals(piece)};
        if (options.adjustPage) {
            options.adjustPage(draft);
        }
        plan.pages.push_back(std::move(draft));
    }
}

// A data page: its header, sealed with its address, then its bytes.
Bytes dataPage(const PageDraft& draft, std::uint32_t sectionId, std::size_t address)
{
    const std::size_t size = aligned(kDataHeader + draft.compressed.size());
    Bytes header;
    append32(header, kDataPageType);
    append32(header, sectionId);
    append32(header, static_cast<std::uint32_t>(draft.compressed.size()));
    append32(header, static_cast<std::uint32_t>(size));
    append64(header, draft.start);
    append32(header, 0);
    const std::uint32_t dataSum = pageChecksum(draft.compressed.data(), draft.compressed.size(), 0);
    append32(header, dataSum);
    put32(header, 24, pageChecksum(header.data(), header.size(), dataSum));
    const std::uint32_t mask = kDataPageMask ^ static_cast<std::uint32_t>(address);
    for (std::size_t at = 0; at < header.size(); at += 4) {
        const std::uint32_t word = static_cast<std::uint32_t>(header[at] | header[at + 1] << 8 | header[at + 2] << 16 |
                                                              static_cast<std::uint32_t>(header[at + 3]) << 24);
        put32(header, at, word ^ mask);
    }
    Bytes page = header;
    page.insert(page.end(), draft.compressed.begin(), draft.compressed.end());
    page.resize(size);
    return page;
}

// A map page: its 0x14-byte header, then its data compressed.
Bytes systemPage(std::uint32_t type, const Bytes& data)
{
    const Bytes compressed = compressLiterals(data);
    Bytes page;
    append32(page, type);
    append32(page, static_cast<std::uint32_t>(data.size()));
    append32(page, static_cast<std::uint32_t>(compressed.size()));
    append32(page, 2);
    append32(page, 0);
    const std::uint32_t seed = pageChecksum(page.data(), page.size(), 0);
    put32(page, 16, pageChecksum(compressed.data(), compressed.size(), seed));
    page.insert(page.end(), compressed.begin(), compressed.end());
    page.resize(aligned(page.size()));
    return page;
}

Bytes sectionMap(const std::vector<SectionPlan>& plans, std::size_t pageSize)
{
    Bytes map;
    const auto count = static_cast<std::uint32_t>(plans.size() + 1);
    for (std::uint32_t value : {count, 2u, 0x7400u, 0u, count}) {
        append32(map, value);
    }
    auto describe = [&](std::uint64_t size, std::size_t pages, std::uint32_t id, const char* name) {
        append64(map, size);
        append32(map, static_cast<std::uint32_t>(pages));
        append32(map, static_cast<std::uint32_t>(pageSize));
        append32(map, 1);
        append32(map, 2);
        append32(map, id);
        append32(map, 0);
        Bytes field(64, 0);
        std::copy(name, name + std::char_traits<char>::length(name), field.begin());
        map.insert(map.end(), field.begin(), field.end());
    };
    describe(0, 0, 0, "");
    for (const SectionPlan& plan : plans) {
        describe(plan.lead + plan.bytes->size(), plan.pages.size(), plan.id, sectionName(plan.section));
        for (const PageDraft& page : plan.pages) {
            append32(map, page.number);
            append32(map, static_cast<std::uint32_t>(page.compressed.size()));
            append64(map, page.start);
        }
    }
    return map;
}

Bytes pageMap(const std::vector<PageMapEntry>& entries)
{
    Bytes map;
    for (const PageMapEntry& entry : entries) {
        append32(map, static_cast<std::uint32_t>(entry.number));
        append32(map, static_cast<std::uint32_t>(entry.size));
        if (entry.number < 0) {
            map.resize(map.size() + 16);
        }
    }
    return map;
}

Bytes plainHeader(const std::string& version, std::uint16_t codePage)
{
    Bytes header(kSealedAt, 0);
    std::copy(version.begin(), version.begin() + static_cast<std::ptrdiff_t>(std::min<std::size_t>(6, version.size())),
              header.begin());
    header[0x0C] = 3;
    header[0x11] = 0x1F;
    header[0x13] = static_cast<std::uint8_t>(codePage);
    header[0x14] = static_cast<std::uint8_t>(codePage >> 8);
    put32(header, 0x28, 0x80);
    return header;
}

struct SealedFields {
    std::uint32_t lastPage, pageCount, pageMapNumber, sectionMapNumber;
    std::uint64_t lastPageEnd, copyAddress, pageMapAddress;
};

Bytes sealedHeader(const SealedFields& f)
{
    Bytes sealed(kSealedLength, 0);
    const char id[] = "AcFssFcAJMB";
    std::copy(id, id + sizeof id, sealed.begin());
    put32(sealed, 0x10, 0x6C);
    put32(sealed, 0x14, 4);
    put32(sealed, 0x24, 1);
    put32(sealed, 0x28, f.lastPage);
    put64(sealed, 0x2C, f.lastPageEnd);
    put64(sealed, 0x34, f.copyAddress);
    put32(sealed, 0x40, f.pageCount);
    put32(sealed, 0x44, 0x20);
    put32(sealed, 0x48, 0x80);
    put32(sealed, 0x4C, 0x40);
    put32(sealed, 0x50, f.pageMapNumber);
    put64(sealed, 0x54, f.pageMapAddress - kFirstPage);
    put32(sealed, 0x5C, f.sectionMapNumber);
    put32(sealed, 0x60, f.pageMapNumber);
    put32(sealed, 0x68, crc32(sealed.data(), sealed.size()));
    const Bytes sequence = sealingSequence(kSealedLength);
    for (std::size_t i = 0; i < kSealedLength; ++i) {
        sealed[i] ^= sequence[i];
    }
    return sealed;
}

}  // namespace

Bytes compressLiterals(const Bytes& data)
{
    Bytes out;
    const std::size_t n = data.size();
    if (n >= 1 && n <= 3) {
        out.push_back(static_cast<std::uint8_t>(n + 17));
    } else if (n >= 4 && n <= 18) {
        out.push_back(static_cast<std::uint8_t>(n - 3));
    } else if (n > 18) {
        out.push_back(0);
        std::size_t rest = n - 3 - 0x0F;
        for (; rest > 0xFF; rest -= 0xFF) {
            out.push_back(0);
        }
        out.push_back(static_cast<std::uint8_t>(rest));
    }
    out.insert(out.end(), data.begin(), data.end());
    out.insert(out.end(), {0x11, 0x00, 0x00});
    return out;
}

std::uint32_t pageChecksum(const std::uint8_t* bytes, std::size_t count, std::uint32_t seed)
{
    std::uint32_t first = seed & 0xFFFF;
    std::uint32_t second = seed >> 16;
    while (count != 0) {
        const std::size_t chunk = std::min<std::size_t>(count, 0x15B0);
        for (std::size_t i = 0; i < chunk; ++i) {
            first += bytes[i];
            second += first;
        }
        bytes += chunk;
        count -= chunk;
        first %= 0xFFF1;
        second %= 0xFFF1;
    }
    return second << 16 | first;
}

std::uint32_t crc32(const std::uint8_t* bytes, std::size_t count)
{
    std::uint32_t crc = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < count; ++i) {
        crc ^= bytes[i];
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc & 1) != 0 ? (crc >> 1) ^ 0xEDB88320u : crc >> 1;
        }
    }
    return ~crc;
}

Bytes composePagedContainer(const std::string& version, const ContainerSections& sections,
                            const ContainerOptions& options)
{
    if (options.pageSize == 0) {
        throw std::invalid_argument("composePagedContainer: pages must hold at least one byte");
    }
    std::vector<SectionPlan> plans = {
        {ContainerSection::Objects, &sections.objects, 4, {}, options.objectsAt},
        {ContainerSection::Handles, &sections.handles, 3, {}},
        {ContainerSection::Classes, &sections.classes, 2, {}},
        {ContainerSection::Header, &sections.header, 1, {}},
    };
    if (!sections.summaryInfo.empty()) plans.push_back({ContainerSection::SummaryInfo, &sections.summaryInfo, 5, {}});
    if (!sections.appInfo.empty()) plans.push_back({ContainerSection::AppInfo, &sections.appInfo, 6, {}});
    std::uint32_t nextNumber = 1;
    for (SectionPlan& plan : plans) {
        cutPages(plan, options, nextNumber);
    }

    Bytes file = plainHeader(version, sections.codePage);
    file.resize(kFirstPage);
    const Bytes sequence = sealingSequence(kFirstPage);
    std::copy(sequence.begin() + kSealedAt + kSealedLength, sequence.end(), file.begin() + kSealedAt + kSealedLength);

    // Data pages keep their real numbers in the page map, in file order.
    std::vector<PageMapEntry> entries;
    std::uint32_t realNumber = 1;
    for (const SectionPlan& plan : plans) {
        for (const PageDraft& draft : plan.pages) {
            const Bytes page = dataPage(draft, plan.id, file.size());
            if (options.places != nullptr) {
                options.places->pages.push_back({draft.section, draft.index, file.size(), draft.compressed.size()});
            }
            entries.push_back({static_cast<std::int32_t>(realNumber++), page.size()});
            file.insert(file.end(), page.begin(), page.end());
        }
    }
    const std::uint32_t sectionMapNumber = realNumber + 1;
    const std::uint32_t pageMapNumber = realNumber + 2;
    const Bytes sectionMapPage = systemPage(kSectionMapType, sectionMap(plans, options.pageSize));
    entries.push_back({static_cast<std::int32_t>(sectionMapNumber), sectionMapPage.size()});
    if (options.places != nullptr) {
        options.places->sectionMap = file.size();
        options.places->pageMap = file.size() + sectionMapPage.size();
    }
    file.insert(file.end(), sectionMapPage.begin(), sectionMapPage.end());

    // The page map lists itself; its size does not depend on what it says.
    entries.push_back({static_cast<std::int32_t>(pageMapNumber), 0});
    if (options.adjustPageMap) {
        options.adjustPageMap(entries);
    }
    for (PageMapEntry& entry : entries) {
        if (entry.number == static_cast<std::int32_t>(pageMapNumber)) {
            entry.size = systemPage(kPageMapType, pageMap(entries)).size();
        }
    }
    const Bytes pageMapPage = systemPage(kPageMapType, pageMap(entries));
    const std::size_t pageMapAddress = file.size();
    file.insert(file.end(), pageMapPage.begin(), pageMapPage.end());

    const SealedFields fields{pageMapNumber, static_cast<std::uint32_t>(entries.size()), pageMapNumber,
                              sectionMapNumber, file.size(), file.size(), pageMapAddress};
    const Bytes sealed = sealedHeader(fields);
    std::copy(sealed.begin(), sealed.end(), file.begin() + kSealedAt);
    file.insert(file.end(), sealed.begin(), sealed.end());
    return file;
}

}  // namespace dwgw
