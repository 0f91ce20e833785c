// Host tool of the build: reads the type library that widl built (the "MSFT"
// file format that LoadTypeLib reads) and prints what the build needs of it,
// choosing the interfaces by the rule the library registers by
// (server/registered_interface.h):
//
//   type_library_facts --rows <output file> <x.tlb>
//     the registry entries that registering the type library writes below
//     HKEY_CLASSES_ROOT, for the Windows Installer packages
//     (cmake/InstallerSourceGen.cmake), in the lines of script_classes --rows:
//       key path <tab> value name <tab> type <tab> data
//     with "%MODULE%" for the DLL's path. No HELPDIR: the library ships no
//     help file, and the key is one for both bitnesses.
//   type_library_facts <output file> <x.tlb>
//     for the assembly manifest (cmake/AssemblyManifestGen.cmake):
//       library <tab> LIBID <tab> version
//       coclass <tab> CLSID                 (one line each)
//       interface <tab> IID <tab> name <tab> marshaler's CLSID
//                                           (each interface that gets an Interface key)
//
// Exits 1, saying why, when the file is no type library it can read or holds
// text that a line cannot carry.
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <initializer_list>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>
#include "server/registered_interface.h"

namespace {
// The parts of the file that are read: the header, the segment directory
// after it, and four of its segments.
constexpr size_t kHeaderSize = 0x54;
constexpr size_t kSegmentEntrySize = 16;
constexpr size_t kSegmentCount = 15;
constexpr size_t kTypeInfoSize = 0x64;
constexpr uint32_t kHasHelpDll = 0x100;           // one more offset before the segment directory
constexpr uint32_t kLibFlagHasDiskImage = 0x08;   // LIBFLAG_FHASDISKIMAGE, never registered
enum Segment { kTypeInfos = 0, kGuids = 5, kNames = 7, kStrings = 8 };

class TypeLibraryFile {
public:
    bool Load(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        if (!in) return false;
        m_vecBytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        uint32_t magic = 0, typeInfos = 0, varFlags = 0;
        if (!Read32(0, &magic) || magic != 0x5446534D /* "MSFT" */) return false;
        if (!Read32(0x14, &varFlags) || !Read32(0x20, &typeInfos) || typeInfos > m_vecBytes.size() / 4) return false;
        const size_t directory = kHeaderSize + 4 * size_t{typeInfos} + ((varFlags & kHasHelpDll) ? 4 : 0);
        for (size_t index = 0; index < kSegmentCount; ++index) {
            uint32_t offset = 0, length = 0;
            if (!Read32(directory + index * kSegmentEntrySize, &offset) ||
                !Read32(directory + index * kSegmentEntrySize + 4, &length))
                return false;
            // An absent segment is stored at offset -1 with length 0.
            if (offset == UINT32_MAX && length == 0) offset = 0;
            if (offset > m_vecBytes.size() || length > m_vecBytes.size() - offset) return false;
            m_segments[index] = {offset, length};
        }
        return typeInfos <= m_segments[kTypeInfos].length / kTypeInfoSize;
    }

    // A 32-bit little-endian value at `position` of the file.
    bool Read32(size_t position, uint32_t* value) const {
        if (position > m_vecBytes.size() || m_vecBytes.size() - position < 4) return false;
        *value = 0;
        for (int i = 3; i >= 0; --i) *value = (*value << 8) | m_vecBytes[position + i];
        return true;
    }
    // `size` bytes at `position` of a segment, read only within it.
    bool InSegment(Segment segment, uint32_t position, size_t size, size_t* start) const {
        const auto [offset, length] = m_segments[segment];
        if (position > length || length - position < size) return false;
        *start = size_t{offset} + position;
        return true;
    }
    bool Guid(uint32_t position, std::string* text) const {
        size_t at = 0;
        if (!InSegment(kGuids, position, 16, &at)) return false;
        // Data1, Data2 and Data3 little-endian, then Data4 byte by byte.
        static const int order[16] = {3, 2, 1, 0, -1, 5, 4, -1, 7, 6, -1, 8, 9, -1, 10, 11};
        char digits[3];
        *text = "{";
        for (int index : order) {
            if (index < 0) {
                *text += '-';
                continue;
            }
            std::snprintf(digits, sizeof digits, "%02X", m_vecBytes[at + index]);
            *text += digits;
        }
        for (int index = 12; index < 16; ++index) {
            std::snprintf(digits, sizeof digits, "%02X", m_vecBytes[at + index]);
            *text += digits;
        }
        *text += '}';
        return true;
    }
    // A name: a 12-byte introduction whose third field holds the length in its low byte.
    bool Name(uint32_t position, std::string* text) const {
        size_t at = 0;
        uint32_t length = 0;
        if (!InSegment(kNames, position, 12, &at) || !Read32(at + 8, &length)) return false;
        length &= 0xff;
        if (!InSegment(kNames, position + 12, length, &at)) return false;
        text->assign(m_vecBytes.begin() + at, m_vecBytes.begin() + at + length);
        return true;
    }
    // A string: a 16-bit length, then the bytes.
    bool String(uint32_t position, std::string* text) const {
        size_t at = 0;
        if (!InSegment(kStrings, position, 2, &at)) return false;
        const size_t length = m_vecBytes[at] | (m_vecBytes[at + 1] << 8);
        if (!InSegment(kStrings, position + 2, length, &at)) return false;
        text->assign(m_vecBytes.begin() + at, m_vecBytes.begin() + at + length);
        return true;
    }
    size_t TypeInfo(uint32_t index) const { return m_segments[kTypeInfos].offset + size_t{index} * kTypeInfoSize; }

private:
    struct Span {
        uint32_t offset;
        uint32_t length;
    };
    std::vector<unsigned char> m_vecBytes;
    Span m_segments[kSegmentCount] = {};
};

struct Interface {
    std::string iid;
    std::string name;
    InterfaceMarshaler marshaler;
};

struct Library {
    std::string libid, version, lcid, platform, flags, helpString;
    std::vector<std::string> vecCoclasses;
    std::vector<Interface> vecInterfaces;
};

bool Fail(const std::string& file, const std::string& why) {
    std::cerr << "type_library_facts: " << file << ": " << why << "\n";
    return false;
}

bool ReadLibrary(const std::string& file, Library* library) {
    TypeLibraryFile tlb;
    if (!tlb.Load(file)) return Fail(file, "is no type library that can be read");
    uint32_t guid = 0, lcid = 0, varFlags = 0, version = 0, flags = 0, typeInfos = 0, helpString = 0;
    if (!tlb.Read32(0x08, &guid) || !tlb.Read32(0x0C, &lcid) || !tlb.Read32(0x14, &varFlags) ||
        !tlb.Read32(0x18, &version) || !tlb.Read32(0x1C, &flags) || !tlb.Read32(0x20, &typeInfos) ||
        !tlb.Read32(0x24, &helpString) || !tlb.Guid(guid, &library->libid))
        return Fail(file, "has no library identifier");
    // The key names that RegisterTypeLib gives: the version and the LCID in hexadecimal.
    char text[32];
    std::snprintf(text, sizeof text, "%x.%x", version & 0xffff, version >> 16);
    library->version = text;
    std::snprintf(text, sizeof text, "%x", lcid);
    library->lcid = text;
    std::snprintf(text, sizeof text, "%u", flags & ~kLibFlagHasDiskImage);
    library->flags = text;
    switch (varFlags & 0xf) {  // SYSKIND
    case 1: library->platform = "win32"; break;
    case 3: library->platform = "win64"; break;
    default: return Fail(file, "is built for neither win32 nor win64");
    }
    if (helpString != UINT32_MAX && !tlb.String(helpString, &library->helpString))
        return Fail(file, "has a help string outside its string table");

    for (uint32_t index = 0; index < typeInfos; ++index) {
        const size_t at = tlb.TypeInfo(index);
        uint32_t kind = 0, typeGuid = 0, typeFlags = 0, name = 0;
        std::string id;
        if (!tlb.Read32(at, &kind) || !tlb.Read32(at + 0x2C, &typeGuid) || !tlb.Read32(at + 0x30, &typeFlags) ||
            !tlb.Read32(at + 0x34, &name))
            return Fail(file, "has a type description cut short");
        kind &= 0xf;  // the higher bits hold the alignment
        if (kind != kTypeKindCoclass && !IsRegisteredInterfaceKind(kind, typeFlags)) continue;
        if (!tlb.Guid(typeGuid, &id)) return Fail(file, "has a class or interface without an identifier");
        if (kind == kTypeKindCoclass) {
            library->vecCoclasses.push_back(id);
            continue;
        }
        Interface entry{id, "", MarshalerOfKind(kind, typeFlags)};
        if (!tlb.Name(name, &entry.name)) return Fail(file, id + " has no name");
        library->vecInterfaces.push_back(entry);
    }
    return true;
}

// One line of tab-separated fields; the build reads the lines as CMake lists
// of ASCII text.
bool AddLine(const std::string& file, std::initializer_list<std::string> fields, std::vector<std::string>* lines) {
    std::string line;
    bool first = true;
    for (const std::string& field : fields) {
        for (unsigned char c : field)
            if (c < 0x20 || c >= 0x7f || c == ';') return Fail(file, "\"" + field + "\" cannot be written as a line");
        line += (first ? "" : "\t") + field;
        first = false;
    }
    lines->push_back(line);
    return true;
}

bool Rows(const std::string& file, const Library& library, std::vector<std::string>* lines) {
    const std::string versionKey = "TypeLib\\" + library.libid + "\\" + library.version;
    if (!library.helpString.empty() && !AddLine(file, {versionKey, "", "string", library.helpString}, lines))
        return false;
    if (!AddLine(file, {versionKey + "\\FLAGS", "", "string", library.flags}, lines) ||
        !AddLine(file, {versionKey + "\\" + library.lcid + "\\" + library.platform, "", "string", "%MODULE%"}, lines))
        return false;
    for (const Interface& entry : library.vecInterfaces) {
        const std::string key = "Interface\\" + entry.iid;
        const std::string marshaler = MarshalerClsid(entry.marshaler);
        if (!AddLine(file, {key, "", "string", entry.name}, lines) ||
            !AddLine(file, {key + "\\ProxyStubClsid", "", "string", marshaler}, lines) ||
            !AddLine(file, {key + "\\ProxyStubClsid32", "", "string", marshaler}, lines) ||
            !AddLine(file, {key + "\\TypeLib", "", "string", library.libid}, lines) ||
            !AddLine(file, {key + "\\TypeLib", "Version", "string", library.version}, lines))
            return false;
    }
    return true;
}

bool Facts(const std::string& file, const Library& library, std::vector<std::string>* lines) {
    if (!AddLine(file, {"library", library.libid, library.version}, lines)) return false;
    for (const std::string& clsid : library.vecCoclasses)
        if (!AddLine(file, {"coclass", clsid}, lines)) return false;
    for (const Interface& entry : library.vecInterfaces)
        if (!AddLine(file, {"interface", entry.iid, entry.name, MarshalerClsid(entry.marshaler)}, lines)) return false;
    return true;
}
}  // namespace

int main(int argc, char** argv) {
    const bool rows = argc == 4 && std::string(argv[1]) == "--rows";
    if (argc != (rows ? 4 : 3)) {
        std::cerr << "usage: type_library_facts [--rows] <output file> <x.tlb>\n";
        return 1;
    }
    const std::string output = argv[rows ? 2 : 1], file = argv[rows ? 3 : 2];
    Library library;
    std::vector<std::string> lines;
    if (!ReadLibrary(file, &library) || !(rows ? Rows(file, library, &lines) : Facts(file, library, &lines)))
        return 1;
    std::ofstream out(output, std::ios::binary | std::ios::trunc);
    for (const std::string& line : lines) out << line << "\n";
    out.close();
    if (!out) {
        std::cerr << "type_library_facts: cannot write " << output << "\n";
        return 1;
    }
    return 0;
}
