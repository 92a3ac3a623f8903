#include "core/update/version_record.h"

#include <elf.h>
#include <unistd.h>

#include <climits>
#include <cstring>
#include <fstream>
#include <vector>

namespace vennadar {
namespace {

// Anything larger is not our record; it keeps a hostile file from making us read much.
constexpr std::size_t kMaxSectionBytes = 64 * 1024;

bool ReadAt(std::ifstream& file, std::uint64_t offset, void* out, std::size_t size) {
    file.seekg(static_cast<std::streamoff>(offset));
    file.read(static_cast<char*>(out), static_cast<std::streamsize>(size));
    return static_cast<std::size_t>(file.gcount()) == size;
}

std::string FindSection(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        return {};
    }
    file.seekg(0, std::ios::end);
    const auto file_size = static_cast<std::uint64_t>(file.tellg());
    Elf64_Ehdr header{};
    if (!ReadAt(file, 0, &header, sizeof header) ||
        std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 ||
        header.e_ident[EI_CLASS] != ELFCLASS64 || header.e_shentsize != sizeof(Elf64_Shdr) ||
        header.e_shstrndx >= header.e_shnum || header.e_shoff > file_size) {
        return {};
    }
    std::vector<Elf64_Shdr> sections(header.e_shnum);
    if (!ReadAt(file, header.e_shoff, sections.data(), sections.size() * sizeof(Elf64_Shdr))) {
        return {};
    }
    const Elf64_Shdr& names = sections[header.e_shstrndx];
    if (names.sh_offset > file_size || names.sh_size > file_size - names.sh_offset) {
        return {};
    }
    std::string name_table(names.sh_size, '\0');
    if (!ReadAt(file, names.sh_offset, name_table.data(), name_table.size())) {
        return {};
    }
    for (const Elf64_Shdr& section : sections) {
        if (section.sh_name >= name_table.size() ||
            std::strcmp(name_table.c_str() + section.sh_name, kVersionSectionName) != 0) {
            continue;
        }
        if (section.sh_type == SHT_NOBITS || section.sh_size > kMaxSectionBytes ||
            section.sh_offset > file_size || section.sh_size > file_size - section.sh_offset) {
            return {};
        }
        std::string bytes(section.sh_size, '\0');
        return ReadAt(file, section.sh_offset, bytes.data(), bytes.size()) ? bytes : std::string();
    }
    return {};
}

}  // namespace

VersionRecord ParseVersionRecord(std::string_view section) {
    VersionRecord record;
    if (section.substr(0, kVersionRecordMagic.size()) != kVersionRecordMagic) {
        return record;
    }
    section.remove_prefix(kVersionRecordMagic.size());
    for (Text& field : record) {
        const std::size_t end = section.find('\0');
        if (end == std::string_view::npos) {
            return VersionRecord{};  // cut short: trust none of it
        }
        field = Text(section.substr(0, end));
        section.remove_prefix(end + 1);
    }
    return record;
}

VersionRecord ReadVersionRecord(const std::string& executable_path) {
    return ParseVersionRecord(FindSection(executable_path));
}

std::string OwnExecutablePath() {
    std::vector<char> buffer(PATH_MAX);
    for (;;) {
        const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (length < 0) {
            return {};
        }
        if (static_cast<std::size_t>(length) < buffer.size()) {
            return std::string(buffer.data(), static_cast<std::size_t>(length));
        }
        buffer.resize(buffer.size() * 2);
    }
}

}  // namespace vennadar
