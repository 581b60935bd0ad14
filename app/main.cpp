// Kestrow: the network updater of the Vimbly photo and video browser.
//
// Until the update stages exist, the main job walks the part of the flow that the
// foundation already carries: it loads the localized string file beside the program and
// checks the application's name in it, prepares the work directory below the temporary
// folder, writes and reads back a version file there as the pre-check will read the host
// product's, and cleans the work directory up as the end of an update does.

#include <cstdio>
#include <cstring>

#include "foundation/files/XpFile.h"
#include "foundation/files/XpPath.h"
#include "foundation/files/XpPathText.h"
#include "foundation/strings/SfStringsManagerKeeper.h"
#include "foundation/text/XpString.h"
#include "foundation/time/XpDateTime.h"

namespace {

const char kInstanceKey[] = "Vimbly_Kestrow";
const XpChar kWorkDirectoryName[] = XP_T("Vimbly_Kestrow");
// A share mode that lets no other open in while the file is written.
constexpr uint32_t kShareNothing = 0;

void Say(const XpString& text)
{
    const XpNarrowString narrow = text.ToNarrow();
    std::printf("%s\n", narrow.GetString());
    std::fflush(stdout);
}

XpString Describe(const XpChar* what, XpResult rc)
{
    XpString text;
    text.Format(XP_T("%s: %s (result 0x%04x)"), what, rc == XpRc::Ok ? XP_T("done") : XP_T("failed"), rc);
    return text;
}

// The string file beside the program must load and name the application.
bool LoadStrings()
{
    const XpString path = GetModuleSiblingPath(XpString(XP_T("KestrowStrings.xml")));
    const XpResult rc = SfStringsManagerKeeper::Initialize({path});
    if (rc != XpRc::Ok) {
        Say(Describe(XP_T("Load KestrowStrings.xml"), rc));
        return false;
    }
    const XpString name = SfStringsManagerKeeper::GetString(XP_T("US/ApplicationName"));
    if (!(name == XpString(XP_T("Vimbly Updater")))) {
        Say(XpString(XP_T("The string file could not name the application.")));
        return false;
    }
    Say(name);
    return true;
}

int RunMainJob()
{
    const bool loaded = LoadStrings();
    delete SfStringsManagerKeeper::GetInstance();
    if (!loaded) return 0;

    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    if (XpDateTime::Now().GetFields(&year, &month, &day, &hour, &minute, &second, nullptr)) {
        XpString started;
        started.Format(XP_T("Started %04d-%02d-%02d %02d:%02d:%02d"), year, month, day, hour, minute, second);
        Say(started);
    }

    // The work directory lives in the user's temporary folder, which programs without
    // the updater's rights can write: it is a private folder, and one that someone else
    // made or can write, or a link in its place, is refused.
    const XpPath temporary;
    const XpPath work(CombinePath(temporary.ToString(), XpString(kWorkDirectoryName)));
    const XpResult made = work.CreatePrivateDirectory();
    if (made != XpRc::Ok || !work.IsDirectory()) {
        XpString refusal;
        refusal.Format(XP_T("The work directory could not be made: %s (result 0x%04x)"), work.ToString().GetString(),
                       made);
        Say(refusal);
        return 0;
    }
    Say(XpString(XP_T("Work directory: ")) + work.ToString());

    // A version file written in text mode and read back as the first line of a file. It
    // is made new, never opened through a link that someone planted under its name.
    const XpString versionPath = CombinePath(work.ToString(), XpString(XP_T("Version.txt")));
    XpFile version(versionPath);
    XpResult rc = version.Open(XpFileFlag::Write | XpFileFlag::Text | XpFileFlag::MustBeNew, kShareNothing);
    if (rc == XpRc::Ok) rc = version.WriteText(XP_T("1.0.0.0\n"));
    version.Close();
    Say(Describe(XP_T("Write Version.txt"), rc));

    XpString line;
    rc = version.Open(XpFileFlag::Read | XpFileFlag::Text | XpFileFlag::NoLinks, XpFileOpen::ShareRead);
    if (rc == XpRc::Ok) rc = version.ReadLine(line);
    version.Close();
    XpString readBack;
    readBack.Format(XP_T("Installed version read back: \"%s\" (%I64d bytes on disk)"), line.GetString(),
                    static_cast<long long>(version.GetSize()));
    Say(rc == XpRc::Ok ? readBack : Describe(XP_T("Read Version.txt"), rc));

    // Clean-up: the work directory goes with everything in it.
    work.RemoveDirectoryTree();
    Say(work.IsDirectory() ? XpString(XP_T("The work directory could not be removed."))
                           : XpString(XP_T("Work directory removed.")));
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    // The updater runs only when started with its instance key; anything else ends it
    // silently. The process always ends with exit status 0.
    if (argc < 2 || std::strcmp(argv[1], kInstanceKey) != 0) return 0;
    return RunMainJob();
}
