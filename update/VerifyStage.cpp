#include "update/VerifyStage.h"

#include "foundation/files/XpFileOperation.h"
#include "platform/PlatformCodeSignature.h"
#include "update/VerifyPackage.h"

namespace {

// The trust check and then the signer, through the held package when there is one. The
// abort flag is looked at between them: a Cancel during the trust check ends the stage.
enum class Check { Accepted, Refused, Cancelled };

Check CheckPackage(const VerifyStageContext& context)
{
    const XpChar* roots = context.extraRoots.GetLength() > 0 ? context.extraRoots.GetString() : nullptr;
    XpPlatformString signer;
    bool trusted = false;
    if (context.held) {
        trusted = context.held->Open(context.packagePath.GetString()) == 0 && context.held->VerifyTrust(roots) == 0;
    } else {
        trusted = VerifyPackageTrust(context.packagePath, context.extraRoots);
    }
    if (!trusted) return Check::Refused;
    if (context.abort->load()) return Check::Cancelled;
    const bool signerOk = context.held ? context.held->Signer(signer) == 0 && IsExpectedSigner(signer.c_str())
                                       : VerifyPackageSigner(context.packagePath);
    return signerOk ? Check::Accepted : Check::Refused;
}

}  // namespace

int RunVerifyStage(const VerifyStageContext& context)
{
    bool accepted = false;
    if (XpFileOperation::IsExistingFile(context.packagePath) &&
        HasAnnouncedSize(context.packagePath, context.packageSize)) {
        context.post(VerifyStageMessage::Begun);
        const Check check = CheckPackage(context);
        if (check == Check::Cancelled) {
            if (context.held) context.held->Close();
            return 0;
        }
        accepted = check == Check::Accepted;
    }
    if (!accepted && context.held) context.held->Close();
    if (context.abort->load()) {
        if (context.held) context.held->Close();
        return 0;
    }
    if (accepted) {
        *context.downloadComplete = true;
        context.post(VerifyStageMessage::Done);
        return 0;
    }
    if (*context.downloadComplete) {
        // Downloaded in this run: no second chance.
        context.post(VerifyStageMessage::Failed);
        return -1;
    }
    // Left over from an earlier run: delete it and download it once more.
    if (!DeleteFailedPackage(context.packagePath)) {
        context.post(VerifyStageMessage::Failed);
        return -1;
    }
    context.post(VerifyStageMessage::DownloadAgain);
    return 0;
}
