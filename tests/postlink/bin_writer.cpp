#include "bin_writer.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace tarvoline::postlink::testkit {

void AppendBigEndian16(Bytes& out, std::uint16_t value) {
    out.push_back(static_cast<std::uint8_t>(value >> 8));
    out.push_back(static_cast<std::uint8_t>(value));
}

void AppendBigEndian32(Bytes& out, std::uint32_t value) {
    AppendBigEndian16(out, static_cast<std::uint16_t>(value >> 16));
    AppendBigEndian16(out, static_cast<std::uint16_t>(value));
}

void PutBigEndian32(Bytes& out, std::size_t at, std::uint32_t value) {
    if (out.size() < at + 4) {
        out.resize(at + 4);
    }
    out[at] = static_cast<std::uint8_t>(value >> 24);
    out[at + 1] = static_cast<std::uint8_t>(value >> 16);
    out[at + 2] = static_cast<std::uint8_t>(value >> 8);
    out[at + 3] = static_cast<std::uint8_t>(value);
}

Bytes WriteResourceFork(const std::vector<TypeEntry>& types) {
    constexpr std::uint32_t kForkHeaderSize = 256;
    constexpr std::uint16_t kTypeListOffset = 28;
    Bytes dataArea;
    std::vector<std::vector<std::uint32_t>> dataOffsets;
    for (const TypeEntry& type : types) {
        dataOffsets.emplace_back();
        for (const ResourceEntry& resource : type.resources) {
            dataOffsets.back().push_back(static_cast<std::uint32_t>(dataArea.size()));
            AppendBigEndian32(dataArea, static_cast<std::uint32_t>(resource.data.size()));
            dataArea.insert(dataArea.end(), resource.data.begin(), resource.data.end());
        }
    }

    // The map: a copy of the fork header, handle, file reference and attributes, the type and
    // name list offsets, then the type list followed by the reference lists.
    Bytes map(kTypeListOffset, 0);
    Bytes typeList;
    AppendBigEndian16(typeList, static_cast<std::uint16_t>(types.size() - 1));
    std::size_t references = 2 + 8 * types.size();
    Bytes referenceLists;
    for (std::size_t t = 0; t < types.size(); ++t) {
        AppendBigEndian32(typeList, types[t].type);
        AppendBigEndian16(typeList, static_cast<std::uint16_t>(types[t].resources.size() - 1));
        AppendBigEndian16(typeList, static_cast<std::uint16_t>(references + referenceLists.size()));
        for (std::size_t r = 0; r < types[t].resources.size(); ++r) {
            AppendBigEndian16(referenceLists,
                              static_cast<std::uint16_t>(types[t].resources[r].number));
            AppendBigEndian16(referenceLists, 0xFFFF);  // no name
            referenceLists.push_back(0);                // attributes
            const std::uint32_t offset = dataOffsets[t][r];
            referenceLists.push_back(static_cast<std::uint8_t>(offset >> 16));
            referenceLists.push_back(static_cast<std::uint8_t>(offset >> 8));
            referenceLists.push_back(static_cast<std::uint8_t>(offset));
            AppendBigEndian32(referenceLists, 0);  // handle
        }
    }
    map[24] = 0;
    map[25] = kTypeListOffset;
    const std::uint16_t nameList =
        static_cast<std::uint16_t>(kTypeListOffset + typeList.size() + referenceLists.size());
    map[26] = static_cast<std::uint8_t>(nameList >> 8);
    map[27] = static_cast<std::uint8_t>(nameList);
    map.insert(map.end(), typeList.begin(), typeList.end());
    map.insert(map.end(), referenceLists.begin(), referenceLists.end());

    Bytes forkHeader;
    const auto mapOffset = static_cast<std::uint32_t>(kForkHeaderSize + dataArea.size());
    AppendBigEndian32(forkHeader, kForkHeaderSize);
    AppendBigEndian32(forkHeader, mapOffset);
    AppendBigEndian32(forkHeader, static_cast<std::uint32_t>(dataArea.size()));
    AppendBigEndian32(forkHeader, static_cast<std::uint32_t>(map.size()));
    std::copy(forkHeader.begin(), forkHeader.end(), map.begin());
    forkHeader.resize(kForkHeaderSize, 0);

    Bytes file(128, 0);
    file.insert(file.end(), forkHeader.begin(), forkHeader.end());
    file.insert(file.end(), dataArea.begin(), dataArea.end());
    file.insert(file.end(), map.begin(), map.end());
    return file;
}

Data0Builder& Data0Builder::Block(std::int32_t offset) {
    AppendBigEndian32(bytes_, static_cast<std::uint32_t>(offset));
    return *this;
}

Data0Builder& Data0Builder::Copy(const Bytes& bytes) {
    for (std::size_t at = 0; at < bytes.size(); at += 128) {
        const std::size_t n = std::min<std::size_t>(128, bytes.size() - at);
        bytes_.push_back(static_cast<std::uint8_t>(0x80 | (n - 1)));
        bytes_.insert(bytes_.end(), bytes.begin() + at, bytes.begin() + at + n);
    }
    return *this;
}

Data0Builder& Data0Builder::Skip(int count) {
    for (; count > 0; count -= 64) {
        bytes_.push_back(static_cast<std::uint8_t>(0x40 | (std::min(count, 64) - 1)));
    }
    return *this;
}

Data0Builder& Data0Builder::Repeat(std::uint8_t value, int count) {
    while (count > 0) {
        int n = std::min(count, 33);
        if (count - n == 1) {
            --n;  // keep at least two for the last command
        }
        bytes_.push_back(static_cast<std::uint8_t>(0x20 | (n - 2)));
        bytes_.push_back(value);
        count -= n;
    }
    return *this;
}

Data0Builder& Data0Builder::FillFF(int count) {
    for (; count > 0; count -= 16) {
        bytes_.push_back(static_cast<std::uint8_t>(0x10 | (std::min(count, 16) - 1)));
    }
    return *this;
}

Data0Builder& Data0Builder::Raw(const Bytes& bytes) {
    bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
    return *this;
}

Data0Builder& Data0Builder::End(std::uint8_t endByte) {
    bytes_.push_back(endByte);
    return *this;
}

Data0Builder& Data0Builder::NoData() {
    for (int i = 0; i < 3; ++i) {
        Block(0).End();
    }
    return *this;
}

Bytes Data0Builder::Step(int words) {
    return {static_cast<std::uint8_t>(0x80 | (words & 0x7F))};
}

Bytes Data0Builder::LongStep(int words) {
    const int bits = words & 0x3FFF;
    return {static_cast<std::uint8_t>(0x40 | (bits >> 8)), static_cast<std::uint8_t>(bits)};
}

Bytes Data0Builder::SetPosition(std::uint32_t words) {
    Bytes out;
    AppendBigEndian32(out, words & 0x3FFFFFFF);
    return out;
}

Data0Builder& Data0Builder::List(std::int32_t count, const Bytes& entries) {
    AppendBigEndian32(bytes_, static_cast<std::uint32_t>(count));
    return Raw(entries);
}

Data0Builder& Data0Builder::ListAt(const std::vector<std::int64_t>& positions) {
    Bytes entries;
    std::int64_t position = 0;
    for (std::int64_t target : positions) {
        const std::int64_t words = (target - position) / 2;
        Bytes entry;
        if (words >= -64 && words <= 63) {
            entry = Step(static_cast<int>(words));
        } else if (words >= -8192 && words <= 8191) {
            entry = LongStep(static_cast<int>(words));
        } else if (target >= 0) {
            entry = SetPosition(static_cast<std::uint32_t>(target / 2));
        } else {
            throw std::invalid_argument("a negative position out of reach of a step");
        }
        entries.insert(entries.end(), entry.begin(), entry.end());
        position = target;
    }
    return List(static_cast<std::int32_t>(positions.size()), entries);
}

Data0Builder& Data0Builder::EmptyList() {
    AppendBigEndian32(bytes_, 0);
    return *this;
}

Data0Builder& Data0Builder::EmptyGroup() {
    return EmptyList().EmptyList().EmptyList();
}

Bytes Data0Builder::Build() const {
    Bytes out = {0xDA, 0x7A, 0xDA, 0x7A};  // not read by the converter
    out.insert(out.end(), bytes_.begin(), bytes_.end());
    return out;
}

Bytes MakeCode0(std::uint32_t aboveA5, std::uint32_t belowA5) {
    Bytes out;
    AppendBigEndian32(out, aboveA5);
    AppendBigEndian32(out, belowA5);
    // A jump table would follow; the converter reads only the two sizes.
    AppendBigEndian32(out, 0x00000020);
    AppendBigEndian32(out, 0x00000000);
    return out;
}

Bytes MakeConfigurationRecord(const Configuration& c) {
    Bytes out;
    for (std::uint32_t word : {c.configId, c.loadAddress, c.codeAddress, c.auxWord12, c.dataAddress,
                               c.auxWord20, c.stackBase, c.stackSize}) {
        AppendBigEndian32(out, word);
    }
    for (int i = 0; i < 4; ++i) {
        AppendBigEndian32(out, 0xEEEEEEEE);  // unused by the converter
    }
    AppendBigEndian32(out, c.watchdogRegister);
    for (const std::string& ext : {c.loadFileExt, c.sRecordExt, c.mapExt}) {
        for (std::size_t i = 0; i < 4; ++i) {
            out.push_back(i < ext.size() ? static_cast<std::uint8_t>(ext[i]) : 0);
        }
    }
    return out;
}

Bytes MakeCode1(const Program& program) {
    Bytes code(program.codeSize);
    for (std::size_t i = 0; i < code.size(); ++i) {
        // 0xA0 to 0xBF: recognisable, and never a character of the signature.
        code[i] = static_cast<std::uint8_t>(0xA0 | (i & 0x1F));
    }
    PutBigEndian32(code, 10, program.entryWord);
    PutBigEndian32(code, 22, program.tableOffset);
    Bytes table;
    const std::int64_t count = program.configurationCount >= 0
                                   ? program.configurationCount
                                   : static_cast<std::int64_t>(program.configurations.size());
    AppendBigEndian32(table, static_cast<std::uint32_t>(count));
    AppendBigEndian32(table, 0);
    for (const Configuration& configuration : program.configurations) {
        const Bytes record = MakeConfigurationRecord(configuration);
        table.insert(table.end(), record.begin(), record.end());
    }
    if (code.size() < program.tableOffset + table.size()) {
        code.resize(program.tableOffset + table.size());
    }
    std::copy(table.begin(), table.end(), code.begin() + program.tableOffset);
    const std::size_t signatureLength = std::strlen(kSignature);
    if (code.size() < program.signatureOffset + signatureLength) {
        code.resize(program.signatureOffset + signatureLength);
    }
    std::memcpy(code.data() + program.signatureOffset, kSignature, signatureLength);
    for (const auto& [offset, bytes] : program.codePatches) {
        if (code.size() < offset + bytes.size()) {
            code.resize(offset + bytes.size());
        }
        std::copy(bytes.begin(), bytes.end(), code.begin() + offset);
    }
    return code;
}

Bytes WriteBinFile(const Program& program) {
    return WriteResourceFork({
        {0x434F4445 /* CODE */,
         {{0, MakeCode0(program.aboveA5, program.belowA5)}, {1, MakeCode1(program)}}},
        {0x44415441 /* DATA */, {{0, program.data0}}},
    });
}

void SaveFile(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        throw std::runtime_error("cannot write " + path);
    }
}

void SaveText(const std::string& path, const std::string& text) {
    SaveFile(path, Bytes(text.begin(), text.end()));
}

Bytes LoadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw std::runtime_error("cannot read " + path);
    }
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace tarvoline::postlink::testkit
