#include "tools/rc/rc_compile.h"

#include <set>
#include <tuple>

namespace qb::rc {
namespace {

const char* typeName(uint16_t type) {
    switch (type) {
    case kTypeDialog:
        return "dialog";
    case kTypeMenu:
        return "menu";
    case kTypeIcon:
        return "icon";
    case kTypeGroupIcon:
        return "icon";
    case kTypeBitmap:
        return "bitmap";
    default:
        return "resource";
    }
}

std::string hex4(uint16_t v) {
    static const char kHex[] = "0123456789abcdef";
    std::string s = "0x";
    for (int shift = 12; shift >= 0; shift -= 4) s += kHex[(v >> shift) & 0xF];
    return s;
}

bool fail(Diagnostic* error, const SourceLine& where, std::string message) {
    error->file = where.file;
    error->line = where.line;
    error->message = std::move(message);
    return false;
}

} // namespace

bool compileResources(const ResourceScript& script, const FileLoader& loader,
                      std::vector<BinaryResource>* out, Diagnostic* error) {
    out->clear();
    std::set<std::tuple<uint16_t, uint16_t, uint16_t>> seen;
    uint16_t nextIconImage = 1; // RT_ICON ids are numbered through the whole script
    for (const ResourceStatement& res : script.resources) {
        uint16_t tableType = res.type == kTypeIcon ? kTypeGroupIcon : res.type;
        if (!seen.insert({tableType, res.id, res.language}).second)
            return fail(error, res.where,
                        std::string("duplicate ") + typeName(res.type) + " " +
                            std::to_string(res.id) + " in language " + hex4(res.language));
        if (const Dialog* d = std::get_if<Dialog>(&res.body)) {
            out->push_back({kTypeDialog, res.id, res.language, encodeDialog(*d)});
            continue;
        }
        if (const Menu* m = std::get_if<Menu>(&res.body)) {
            out->push_back({kTypeMenu, res.id, res.language, encodeMenu(*m)});
            continue;
        }
        const FileResource& f = std::get<FileResource>(res.body);
        SourceFile file;
        if (!loader || !loader(res.where.file, f.name, &file))
            return fail(error, res.where, "cannot open file '" + f.name + "'");
        std::string problem;
        if (res.type == kTypeBitmap) {
            Bytes bytes;
            if (!bitmapFromFile(file.bytes, &bytes, &problem))
                return fail(error, res.where, file.path + ": " + problem);
            out->push_back({kTypeBitmap, res.id, res.language, std::move(bytes)});
            continue;
        }
        IconSplit split;
        if (!splitIconFile(file.bytes, nextIconImage, &split, &problem))
            return fail(error, res.where, file.path + ": " + problem);
        for (Bytes& image : split.images)
            out->push_back({kTypeIcon, nextIconImage++, res.language, std::move(image)});
        out->push_back({kTypeGroupIcon, res.id, res.language, std::move(split.group)});
    }
    return true;
}

} // namespace qb::rc
