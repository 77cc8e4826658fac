// hostsim describe <add-in.dll>: loads an add-in as the host does and prints
// what it offers: its classes, each class's extension name, methods and
// properties in both languages. Exit code 0 when everything could be read.
#include <string>
#include <vector>

#include "tests/wine/hostsim/hostlib.h"

namespace {

using hostsim::Say;
using hostsim::Utf8;

// Pads a text with blanks to a width counted in characters, not bytes.
std::string Pad(const std::u16string& text, size_t width) {
    return Utf8(text) + std::string(text.size() < width ? width - text.size() : 1, ' ');
}

int Run(const std::vector<std::wstring>& args) {
    if (args.size() != 1) {
        Say("usage: hostsim describe <add-in.dll>\n");
        return 2;
    }
    hostsim::THostLibrary lib;
    Say("host: LoadLibraryW(%s)\n", Utf8(args[0]).c_str());
    if (!lib.Load(args[0])) {
        Say("host: %s\n", lib.Error().c_str());
        return 1;
    }
    const std::vector<std::u16string> classes = lib.ClassNames();
    Say("host: GetClassNames -> %lu class(es)\n", static_cast<unsigned long>(classes.size()));
    int problems = classes.empty() ? 1 : 0;

    hostsim::THostSession host;
    for (const std::u16string& name : classes) {
        hostsim::THostObject obj(lib);
        const int32_t created = obj.Create(name);
        Say("host: GetClassObject(\"%s\") -> %d\n", Utf8(name).c_str(), created);
        if (created != 1 || !obj.Valid()) {
            ++problems;
            continue;
        }
        const bool init = obj.Init(host.Connection.Connection());
        const bool mm = obj.SetMemManager(host.Memory.Manager());
        Say("host: Init -> %s, SetMemManager -> %s, GetInfo -> %d\n", init ? "true" : "false",
            mm ? "true" : "false", obj.GetInfo());
        obj.SetLocale(u"ru_RU");
        std::u16string ext;
        const bool registered = obj.RegisterExtensionAs(ext);
        Say("host: RegisterExtensionAs -> %s \"%s\"\n", registered ? "true" : "false", Utf8(ext).c_str());
        if (!init || !mm || !registered) ++problems;

        const int32_t methods = obj.GetNMethods();
        Say("host: GetNMethods -> %d\n", methods);
        for (int32_t i = 0; i < methods; ++i) {
            const std::u16string en = obj.GetMethodName(i, 0), ru = obj.GetMethodName(i, 1);
            const bool found = obj.FindMethod(en) == i && obj.FindMethod(ru) == i;
            if (!found) ++problems;
            Say("  [%2d] %s%sparams %d%s%s\n", i, Pad(en, 34).c_str(), Pad(ru, 34).c_str(), obj.GetNParams(i),
                obj.HasRetVal(i) ? ", function" : ", procedure", found ? "" : "  (FindMethod disagrees)");
        }
        const int32_t props = obj.GetNProps();
        Say("host: GetNProps -> %d\n", props);
        for (int32_t i = 0; i < props; ++i) {
            Say("  [%2d] %s / %s%s%s\n", i, Utf8(obj.GetPropName(i, 0)).c_str(), Utf8(obj.GetPropName(i, 1)).c_str(),
                obj.IsPropReadable(i) ? ", readable" : "", obj.IsPropWritable(i) ? ", writable" : "");
        }
        obj.Done();
        Say("host: Done; DestroyObject -> %d\n", obj.Destroy());
    }
    Say("host: errors reported %lu, host memory blocks still live %lu\n",
        static_cast<unsigned long>(host.Connection.Errors().size()),
        static_cast<unsigned long>(host.Memory.LiveBlocks()));
    if (host.Memory.LiveBlocks() != 0) ++problems;
    lib.Unload();
    Say("host: FreeLibrary; %s\n", problems == 0 ? "all read" : "problems found");
    return problems == 0 ? 0 : 1;
}

const hostsim::THostMode Mode("describe", "<add-in.dll>   print the classes, methods and properties", &Run);

}  // namespace
