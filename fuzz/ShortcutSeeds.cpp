// Writes the seed shortcuts of the shortcut fuzzer into the folder given: one of each shape the
// reader knows, so the fuzzer starts from whole, valid files.
#include <cstdio>
#include <fstream>
#include <string>

#include "host/ShortcutWriter.h"

using namespace ShortcutWriter;

namespace {

bool Save(const std::string& folder, const char* name, const LinkSpec& plan)
{
    const Shortcut shortcut = Write(plan);
    std::ofstream out(folder + "/" + name, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(shortcut.bytes.data()), std::streamsize(shortcut.bytes.size()));
    return bool(out);
}

LinkSpec Strings(LinkSpec plan)
{
    plan.description = u"Song \u266A";
    plan.relativePath = u"..\\Music\\a.mp3";
    plan.workingDirectory = u"C:\\Music";
    plan.arguments = u"/play";
    plan.iconLocation = u"C:\\icons.dll";
    return plan;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <folder>\n", argv[0]);
        return 2;
    }
    const std::string folder = argv[1];

    LinkSpec local;
    local.idList = std::vector<uint8_t>{0x14, 0x00, 0x1F, 0x50, 0xE0, 0x4F, 0xD0, 0x20, 0xEA, 0x3A, 0x69, 0x10, 0xA2,
        0xD8, 0x08, 0x00, 0x2B, 0x30, 0x30, 0x9D, 0x00, 0x00};
    local.linkInfo = LinkInfoSpec().Local("C:\\Music\\").Suffix("a.mp3");
    local.extraBlocks = {ExtraBlock(0xA0000003, 0x58)};
    local.showCommand = 3;

    LinkSpec unicode;
    unicode.linkInfo = LinkInfoSpec().Local("C:\\?").LocalUnicode(u"C:\\\u00E9t\u00E9").SuffixUnicode(u"\u266A.mp3");

    LinkSpec ansi = Strings(local);
    ansi.unicode = false;
    ansi.description = u"Caf\xE9 \x80";

    LinkSpec share;
    share.linkInfo = LinkInfoSpec().Share("\\\\server\\share").ShareUnicode(u"\\\\server\\share").Suffix("Music");

    LinkSpec relative;
    relative.relativePath = u".\\a.mp3";
    relative.terminalBlock = false;

    LinkSpec ignored = Strings(local);
    ignored.extraFlags = c_ForceNoLinkInfo;

    const bool ok = Save(folder, "local.lnk", Strings(local)) && Save(folder, "unicode.lnk", unicode)
        && Save(folder, "ansi.lnk", ansi) && Save(folder, "share.lnk", share) && Save(folder, "relative.lnk", relative)
        && Save(folder, "ignored-link-info.lnk", ignored);
    if (!ok)
        std::fprintf(stderr, "cannot write the seeds into %s\n", folder.c_str());
    return ok ? 0 : 1;
}
