#include "platform/posix/PosixAuthenticode.h"

#include <dirent.h>
#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/objects.h>
#include <openssl/pkcs7.h>
#include <openssl/ts.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <vector>

#include "platform/PlatformCodeSignature.h"
#include "platform/posix/PosixCommon.h"
#include "platform/shared/XpSignedImage.h"

namespace {

template <typename T, void (*Free)(T*)>
struct Deleter {
    void operator()(T* p) const { Free(p); }
};
template <typename T, void (*Free)(T*)>
using Owned = std::unique_ptr<T, Deleter<T, Free> >;

using Pkcs7 = Owned<PKCS7, PKCS7_free>;
using Bio = Owned<BIO, BIO_free_all>;
using Store = Owned<X509_STORE, X509_STORE_free>;
using StoreContext = Owned<X509_STORE_CTX, X509_STORE_CTX_free>;
using Object = Owned<ASN1_OBJECT, ASN1_OBJECT_free>;
using MdContext = Owned<EVP_MD_CTX, EVP_MD_CTX_free>;
using SignerInfo = Owned<PKCS7_SIGNER_INFO, PKCS7_SIGNER_INFO_free>;
using TstInfo = Owned<TS_TST_INFO, TS_TST_INFO_free>;
using AltNames = Owned<GENERAL_NAMES, GENERAL_NAMES_free>;

void FreeCertStack(STACK_OF(X509) * stack)
{
    sk_X509_free(stack);
}
using CertStack = Owned<STACK_OF(X509), FreeCertStack>;

constexpr char kSpcIndirectData[] = "1.3.6.1.4.1.311.2.1.4";
constexpr char kRfc3161Timestamp[] = "1.3.6.1.4.1.311.3.3.1";
// Small enough to stay in the processor's cache between the read and the digest.
constexpr size_t kChunk = 64 << 10;

XpPlatformString Utf16(const ASN1_STRING* text)
{
    unsigned char* utf8 = nullptr;
    const int length = ASN1_STRING_to_UTF8(&utf8, text);
    if (length < 0) return XpPlatformString();
    XpPlatformString result = XpPosixFromUtf8(reinterpret_cast<const char*>(utf8), static_cast<size_t>(length));
    OPENSSL_free(utf8);
    return result;
}

// CERT_NAME_SIMPLE_DISPLAY_TYPE: the subject's common name, else its organizational unit,
// else its organization, else its e-mail attribute; else the first rfc822 name of the
// subject alternative names; else the subject's first attribute, whatever it is.
XpPlatformString SimpleDisplayName(X509* cert)
{
    const X509_NAME* subject = X509_get_subject_name(cert);
    for (int nid : {NID_commonName, NID_organizationalUnitName, NID_organizationName, NID_pkcs9_emailAddress}) {
        const int index = X509_NAME_get_index_by_NID(subject, nid, -1);
        if (index >= 0) return Utf16(X509_NAME_ENTRY_get_data(X509_NAME_get_entry(subject, index)));
    }
    AltNames names(static_cast<GENERAL_NAMES*>(X509_get_ext_d2i(cert, NID_subject_alt_name, nullptr, nullptr)));
    for (int i = 0; names && i < sk_GENERAL_NAME_num(names.get()); ++i) {
        const GENERAL_NAME* name = sk_GENERAL_NAME_value(names.get(), i);
        if (name->type == GEN_EMAIL) return Utf16(name->d.rfc822Name);
    }
    if (X509_NAME_entry_count(subject) > 0) return Utf16(X509_NAME_ENTRY_get_data(X509_NAME_get_entry(subject, 0)));
    return XpPlatformString();
}

Pkcs7 ReadPkcs7(const unsigned char* data, size_t size)
{
    const unsigned char* p = data;
    Pkcs7 p7(d2i_PKCS7(nullptr, &p, static_cast<long>(size)));
    if (p7 && (!PKCS7_type_is_signed(p7.get()) || p7->d.sign == nullptr)) p7.reset();
    return p7;
}

Pkcs7 ReadPkcs7(const XpByteSource& file, const XpByteRange& range)
{
    std::vector<unsigned char> bytes(static_cast<size_t>(range.size));
    if (range.size == 0 || !file.ReadAt(range.offset, bytes.data(), bytes.size())) return Pkcs7();
    return ReadPkcs7(bytes.data(), bytes.size());
}

// The one signer and its certificate; null when there is not exactly one, or when the
// signature names more than one digest algorithm.
X509* SignerCertificate(PKCS7* p7, PKCS7_SIGNER_INFO** info)
{
    // One digest algorithm, as Authenticode requires: PKCS7_verify also leaks the digest
    // filters of all but the first of several over supplied content.
    if (sk_X509_ALGOR_num(p7->d.sign->md_algs) != 1) return nullptr;
    STACK_OF(PKCS7_SIGNER_INFO)* infos = PKCS7_get_signer_info(p7);
    if (infos == nullptr || sk_PKCS7_SIGNER_INFO_num(infos) != 1) return nullptr;
    *info = sk_PKCS7_SIGNER_INFO_value(infos, 0);
    CertStack signers(PKCS7_get0_signers(p7, nullptr, 0));
    if (!signers || sk_X509_num(signers.get()) != 1) return nullptr;
    return sk_X509_value(signers.get(), 0);
}

// A read-only BIO over a range of a byte source: the content of an appended signature is
// streamed from the file.
struct RangeReader {
    const XpByteSource* file;
    uint64_t position;
    uint64_t end;
};

int RangeRead(BIO* bio, char* out, int size)
{
    auto* reader = static_cast<RangeReader*>(BIO_get_data(bio));
    const uint64_t left = reader->end - reader->position;
    const size_t count = static_cast<size_t>(std::min<uint64_t>(left, static_cast<uint64_t>(size)));
    if (count == 0) return 0;
    if (!reader->file->ReadAt(reader->position, out, count)) return -1;
    reader->position += count;
    return static_cast<int>(count);
}

long RangeControl(BIO*, int command, long, void*)
{
    return command == BIO_CTRL_FLUSH ? 1 : 0;
}

BIO_METHOD* RangeMethod()
{
    static BIO_METHOD* method = [] {
        BIO_METHOD* m = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "kestrow file range");
        BIO_meth_set_read(m, RangeRead);
        BIO_meth_set_ctrl(m, RangeControl);
        BIO_meth_set_create(m, [](BIO* bio) {
            BIO_set_init(bio, 1);
            return 1;
        });
        return m;
    }();
    return method;
}

// The content that a signature covers, as PKCS7_verify reads it. Not a memory BIO:
// PKCS7_verify copies one of those into a BIO of its own, which it leaks when the
// signature's digest algorithm is unknown.
Bio RangeBio(RangeReader& reader)
{
    Bio bio(BIO_new(RangeMethod()));
    if (bio) BIO_set_data(bio.get(), &reader);
    return bio;
}

const EVP_MD* AllowedDigest(const ASN1_OBJECT* algorithm)
{
    switch (OBJ_obj2nid(algorithm)) {
        case NID_sha1:
        case NID_sha256:
        case NID_sha384:
        case NID_sha512:
            return EVP_get_digestbyobj(algorithm);
        default:
            return nullptr;  // nothing weaker than SHA-1, nothing unknown
    }
}

const EVP_MD* DigestFromOid(const std::vector<unsigned char>& oid)
{
    std::vector<unsigned char> der = {0x06, static_cast<unsigned char>(oid.size())};
    der.insert(der.end(), oid.begin(), oid.end());
    const unsigned char* p = der.data();
    Object object(d2i_ASN1_OBJECT(nullptr, &p, static_cast<long>(der.size())));
    return object ? AllowedDigest(object.get()) : nullptr;
}

// The Authenticode image digest, read in chunks.
bool ImageDigest(const XpByteSource& file, const XpPeSignatureLayout& layout, const EVP_MD* md,
                 std::vector<unsigned char>& digest)
{
    MdContext context(EVP_MD_CTX_new());
    if (!context || EVP_DigestInit_ex(context.get(), md, nullptr) != 1) return false;
    std::vector<unsigned char> buffer(kChunk);
    for (const XpByteRange& range : layout.digested) {
        for (uint64_t done = 0; done < range.size;) {
            const size_t count = static_cast<size_t>(std::min<uint64_t>(kChunk, range.size - done));
            if (!file.ReadAt(range.offset + done, buffer.data(), count) ||
                EVP_DigestUpdate(context.get(), buffer.data(), count) != 1) {
                return false;
            }
            done += count;
        }
    }
    unsigned int size = 0;
    digest.resize(EVP_MAX_MD_SIZE);
    if (EVP_DigestFinal_ex(context.get(), digest.data(), &size) != 1) return false;
    digest.resize(size);
    return true;
}

// The PE signature: the SpcIndirectDataContent names the image digest, which must match
// the file; the signature covers that content without its outer tag and length.
uint32_t CheckPeContent(const XpByteSource& file, const XpPeSignatureLayout& layout, PKCS7* p7)
{
    PKCS7* content = p7->d.sign->contents;
    Object indirect(OBJ_txt2obj(kSpcIndirectData, 1));
    if (content == nullptr || OBJ_cmp(content->type, indirect.get()) != 0 || content->d.other == nullptr ||
        content->d.other->type != V_ASN1_SEQUENCE) {
        return XpTrustError::NoSignature;
    }
    const ASN1_STRING* sequence = content->d.other->value.sequence;
    const auto* data = ASN1_STRING_get0_data(sequence);
    const size_t size = static_cast<size_t>(ASN1_STRING_length(sequence));
    XpIndirectDigest wanted;
    unsigned char tag = 0;
    size_t header = 0;
    size_t length = 0;
    if (!XpReadIndirectDigest(data, size, wanted) || !XpDerElement(data, size, &tag, &header, &length)) {
        return XpTrustError::NoSignature;
    }
    const EVP_MD* md = DigestFromOid(wanted.algorithm);
    std::vector<unsigned char> actual;
    if (md == nullptr) return XpTrustError::BadDigest;
    if (!ImageDigest(file, layout, md, actual)) return XpTrustError::FileError;
    if (actual != wanted.digest) return XpTrustError::BadDigest;
    const XpMemoryByteSource signedBytes(data + header, length);
    RangeReader reader{&signedBytes, 0, length};
    Bio bio = RangeBio(reader);
    if (!bio) return XpTrustError::SystemError;
    if (PKCS7_verify(p7, nullptr, nullptr, bio.get(), nullptr, PKCS7_NOVERIFY | PKCS7_BINARY | PKCS7_NOCHAIN) != 1) {
        return XpTrustError::BadSignature;
    }
    return 0;
}

// The appended signature: detached, over every byte before it.
uint32_t CheckAppendedContent(const XpByteSource& file, const XpByteRange& range, PKCS7* p7)
{
    if (!PKCS7_get_detached(p7)) return XpTrustError::NoSignature;
    RangeReader reader{&file, range.offset, range.offset + range.size};
    Bio bio = RangeBio(reader);
    if (!bio) return XpTrustError::SystemError;
    if (PKCS7_verify(p7, nullptr, nullptr, bio.get(), nullptr, PKCS7_NOVERIFY | PKCS7_BINARY | PKCS7_NOCHAIN) != 1) {
        return reader.position == reader.end ? XpTrustError::BadSignature : XpTrustError::FileError;
    }
    return 0;
}

// The system's roots, and the PEM files of the extra folder.
Store TrustedRoots(const std::string& extraRoots)
{
    // The system's folder of hashed certificate names, looked up only for the issuers a
    // chain needs; the bundle file is read whole only where that folder is missing.
    Store store(X509_STORE_new());
    if (!store) return Store();
    const char* folderVariable = std::getenv(X509_get_default_cert_dir_env());
    const std::string systemFolder = folderVariable ? folderVariable : X509_get_default_cert_dir();
    struct stat info;
    if (stat(systemFolder.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
        X509_LOOKUP* lookup = X509_STORE_add_lookup(store.get(), X509_LOOKUP_hash_dir());
        if (lookup == nullptr || X509_LOOKUP_add_dir(lookup, systemFolder.c_str(), X509_FILETYPE_PEM) != 1) {
            return Store();
        }
    } else if (X509_STORE_set_default_paths(store.get()) != 1) {
        return Store();
    }
    if (extraRoots.empty()) return store;
    DIR* folder = opendir(extraRoots.c_str());
    if (folder == nullptr) return store;
    while (const dirent* entry = readdir(folder)) {
        const std::string name = entry->d_name;
        const auto endsWith = [&](const char* suffix) {
            const size_t n = std::strlen(suffix);
            return name.size() > n && name.compare(name.size() - n, n, suffix) == 0;
        };
        if (endsWith(".pem") || endsWith(".crt")) {
            X509_STORE_load_file(store.get(), (extraRoots + "/" + name).c_str());
        }
    }
    closedir(folder);
    ERR_clear_error();
    return store;
}

time_t ToTime(const ASN1_TIME* when)
{
    struct tm parts = {};
    if (ASN1_TIME_to_tm(when, &parts) != 1) return -1;
    return timegm(&parts);
}

uint32_t ChainError(int error)
{
    switch (error) {
        case X509_V_ERR_CERT_HAS_EXPIRED:
        case X509_V_ERR_CERT_NOT_YET_VALID:
            return XpTrustError::Expired;
        case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
        case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
        case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
        case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
            return XpTrustError::UntrustedRoot;
        case X509_V_ERR_INVALID_PURPOSE:
            return XpTrustError::WrongUsage;
        default:
            return XpTrustError::Chaining;
    }
}

// The chain from cert to a trusted root, valid at when, with the given purpose checked
// along it by OpenSSL where it has one (time stamping).
uint32_t CheckChain(X509_STORE* store, X509* cert, STACK_OF(X509) * untrusted, time_t when, int purpose)
{
    StoreContext context(X509_STORE_CTX_new());
    if (!context || X509_STORE_CTX_init(context.get(), store, cert, untrusted) != 1) return XpTrustError::SystemError;
    X509_VERIFY_PARAM_set_time(X509_STORE_CTX_get0_param(context.get()), when);
    if (purpose != 0) X509_STORE_CTX_set_purpose(context.get(), purpose);
    if (X509_verify_cert(context.get()) == 1) return 0;
    return ChainError(X509_STORE_CTX_get_error(context.get()));
}

// A signer certificate must name code signing among its extended key usages, and its key
// usage, where it has one, must allow digital signatures.
bool CodeSigningUsage(X509* cert)
{
    const uint32_t flags = X509_get_extension_flags(cert);
    if ((flags & EXFLAG_XKUSAGE) == 0 || (X509_get_extended_key_usage(cert) & XKU_CODE_SIGN) == 0) return false;
    return (flags & EXFLAG_KUSAGE) == 0 || (X509_get_key_usage(cert) & KU_DIGITAL_SIGNATURE) != 0;
}

// The time of a valid RFC 3161 timestamp over the signer's signature, or -1.
time_t TimestampTime(PKCS7_SIGNER_INFO* info, X509_STORE* store)
{
    Object type(OBJ_txt2obj(kRfc3161Timestamp, 1));
    const int index = X509at_get_attr_by_OBJ(info->unauth_attr, type.get(), -1);
    if (index < 0) return -1;
    ASN1_TYPE* value = X509_ATTRIBUTE_get0_type(X509at_get_attr(info->unauth_attr, index), 0);
    if (value == nullptr || value->type != V_ASN1_SEQUENCE) return -1;
    Pkcs7 token = ReadPkcs7(ASN1_STRING_get0_data(value->value.sequence),
                            static_cast<size_t>(ASN1_STRING_length(value->value.sequence)));
    PKCS7_SIGNER_INFO* tokenInfo = nullptr;
    X509* authority = token ? SignerCertificate(token.get(), &tokenInfo) : nullptr;
    if (authority == nullptr ||
        PKCS7_verify(token.get(), nullptr, nullptr, nullptr, nullptr, PKCS7_NOVERIFY | PKCS7_NOCHAIN) != 1) {
        return -1;
    }
    TstInfo tst(PKCS7_to_TS_TST_INFO(token.get()));
    if (!tst) return -1;
    // The imprint is the digest of the signer's signature value.
    TS_MSG_IMPRINT* imprint = TS_TST_INFO_get_msg_imprint(tst.get());
    const EVP_MD* md = EVP_get_digestbyobj(TS_MSG_IMPRINT_get_algo(imprint)->algorithm);
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    const ASN1_OCTET_STRING* wanted = TS_MSG_IMPRINT_get_msg(imprint);
    if (md == nullptr ||
        EVP_Digest(ASN1_STRING_get0_data(info->enc_digest), ASN1_STRING_length(info->enc_digest), digest, &size, md,
                   nullptr) != 1 ||
        static_cast<int>(size) != ASN1_STRING_length(wanted) ||
        std::memcmp(digest, ASN1_STRING_get0_data(wanted), size) != 0) {
        return -1;
    }
    const time_t when = ToTime(TS_TST_INFO_get_time(tst.get()));
    if (when < 0 || CheckChain(store, authority, token->d.sign->cert, when, X509_PURPOSE_TIMESTAMP_SIGN) != 0) {
        return -1;
    }
    return when;
}

// The one value of the one attribute of this kind, when it has the given ASN.1 type (or
// either time type for V_ASN1_UTCTIME); null when it is missing, repeated or of another type.
const ASN1_TYPE* SingleAttribute(const STACK_OF(X509_ATTRIBUTE) * attributes, int nid, int type)
{
    const int index = X509at_get_attr_by_NID(attributes, nid, -1);
    if (index < 0 || X509at_get_attr_by_NID(attributes, nid, index) >= 0) return nullptr;
    X509_ATTRIBUTE* attribute = X509at_get_attr(attributes, index);
    if (X509_ATTRIBUTE_count(attribute) != 1) return nullptr;
    const ASN1_TYPE* value = X509_ATTRIBUTE_get0_type(attribute, 0);
    if (value == nullptr) return nullptr;
    const bool time = type == V_ASN1_UTCTIME && value->type == V_ASN1_GENERALIZEDTIME;
    return value->type == type || time ? value : nullptr;
}

// A timestamping certificate names time stamping among its extended key usages when it
// has any, and its key usage, where it has one, allows digital signatures.
bool TimestampingUsage(X509* cert)
{
    const uint32_t flags = X509_get_extension_flags(cert);
    if ((flags & EXFLAG_XKUSAGE) != 0 && (X509_get_extended_key_usage(cert) & XKU_TIMESTAMP) == 0) return false;
    return (flags & EXFLAG_KUSAGE) == 0 || (X509_get_key_usage(cert) & KU_DIGITAL_SIGNATURE) != 0;
}

// The signing time of one PKCS #9 countersignature (DER SignerInfo) over the signer's
// signature value, or -1 when it does not hold: its messageDigest must be the digest of
// that value, its signature over its authenticated attributes must verify with the
// timestamping certificate among the signature's certificates, and that certificate must
// chain to a trusted root at the signingTime it gives.
time_t CountersignatureTime(const ASN1_STRING* der, PKCS7* p7, PKCS7_SIGNER_INFO* signer, X509_STORE* store)
{
    const unsigned char* p = ASN1_STRING_get0_data(der);
    SignerInfo counter(d2i_PKCS7_SIGNER_INFO(nullptr, &p, ASN1_STRING_length(der)));
    if (!counter || counter->digest_alg == nullptr || counter->issuer_and_serial == nullptr ||
        counter->enc_digest == nullptr) {
        return -1;
    }
    const EVP_MD* md = AllowedDigest(counter->digest_alg->algorithm);
    const ASN1_TYPE* digest = SingleAttribute(counter->auth_attr, NID_pkcs9_messageDigest, V_ASN1_OCTET_STRING);
    const ASN1_TYPE* signingTime = SingleAttribute(counter->auth_attr, NID_pkcs9_signingTime, V_ASN1_UTCTIME);
    if (md == nullptr || digest == nullptr || signingTime == nullptr) return -1;

    unsigned char actual[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    const ASN1_OCTET_STRING* wanted = digest->value.octet_string;
    if (EVP_Digest(ASN1_STRING_get0_data(signer->enc_digest),
                   static_cast<size_t>(ASN1_STRING_length(signer->enc_digest)), actual, &size, md, nullptr) != 1 ||
        static_cast<int>(size) != ASN1_STRING_length(wanted) ||
        std::memcmp(actual, ASN1_STRING_get0_data(wanted), size) != 0) {
        return -1;
    }

    X509* authority = p7->d.sign->cert == nullptr
                          ? nullptr
                          : X509_find_by_issuer_and_serial(p7->d.sign->cert, counter->issuer_and_serial->issuer,
                                                           counter->issuer_and_serial->serial);
    EVP_PKEY* key = authority ? X509_get0_pubkey(authority) : nullptr;
    if (key == nullptr || !TimestampingUsage(authority)) return -1;
    // The signature covers the authenticated attributes encoded as a SET, not with their
    // implicit [0] tag.
    unsigned char* attributes = nullptr;
    const int length = ASN1_item_i2d(reinterpret_cast<ASN1_VALUE*>(counter->auth_attr), &attributes,
                                     ASN1_ITEM_rptr(PKCS7_ATTR_VERIFY));
    if (length <= 0) return -1;
    MdContext context(EVP_MD_CTX_new());
    const bool verified = context && EVP_DigestVerifyInit(context.get(), nullptr, md, nullptr, key) == 1 &&
                          EVP_DigestVerify(context.get(), ASN1_STRING_get0_data(counter->enc_digest),
                                           static_cast<size_t>(ASN1_STRING_length(counter->enc_digest)), attributes,
                                           static_cast<size_t>(length)) == 1;
    OPENSSL_free(attributes);
    if (!verified) return -1;

    const time_t when = ToTime(signingTime->value.asn1_string);
    if (when < 0 || CheckChain(store, authority, p7->d.sign->cert, when, 0) != 0) return -1;
    return when;
}

// The signing time that the signer's timestamps give: an RFC 3161 timestamp's, else a
// PKCS #9 countersignature's; -1 when neither is valid, so that the chain is checked now.
time_t SigningTime(PKCS7* p7, PKCS7_SIGNER_INFO* signer, X509_STORE* store)
{
    const time_t stamped = TimestampTime(signer, store);
    if (stamped >= 0) return stamped;
    const STACK_OF(X509_ATTRIBUTE)* attributes = signer->unauth_attr;
    for (int i = 0; i < X509at_get_attr_count(attributes); ++i) {
        X509_ATTRIBUTE* attribute = X509at_get_attr(attributes, i);
        if (OBJ_obj2nid(X509_ATTRIBUTE_get0_object(attribute)) != NID_pkcs9_countersignature) continue;
        for (int v = 0; v < X509_ATTRIBUTE_count(attribute); ++v) {
            const ASN1_TYPE* value = X509_ATTRIBUTE_get0_type(attribute, v);
            if (value == nullptr || value->type != V_ASN1_SEQUENCE) continue;
            const time_t when = CountersignatureTime(value->value.sequence, p7, signer, store);
            if (when >= 0) return when;
        }
    }
    return -1;
}

}  // namespace

uint32_t XpPosixVerifySignature(const XpByteSource& file, bool checkTrust, const std::string& extraRoots,
                                XpPlatformString* signer)
{
    XpPeSignatureLayout layout;
    XpByteRange content;
    XpByteRange range;
    const XpPeLayoutResult pe = XpReadPeSignatureLayout(file, layout);
    if (pe == XpPeLayoutResult::Signed) {
        range = layout.signature;
    } else if (pe != XpPeLayoutResult::NotPe) {
        return XpTrustError::NoSignature;
    } else if (!XpReadAppendedSignature(file, content, range)) {
        return XpTrustError::SubjectFormUnknown;
    }
    Pkcs7 p7 = ReadPkcs7(file, range);
    if (!p7) return XpTrustError::NoSignature;
    PKCS7_SIGNER_INFO* info = nullptr;
    X509* cert = SignerCertificate(p7.get(), &info);
    if (cert == nullptr) return XpTrustError::NoSignerCert;
    if (signer) *signer = SimpleDisplayName(cert);
    if (!checkTrust) return 0;

    const uint32_t intact = pe == XpPeLayoutResult::Signed ? CheckPeContent(file, layout, p7.get())
                                                           : CheckAppendedContent(file, content, p7.get());
    ERR_clear_error();
    if (intact != 0) return intact;
    if (!CodeSigningUsage(cert)) return XpTrustError::WrongUsage;
    Store store = TrustedRoots(extraRoots);
    if (!store) return XpTrustError::SystemError;
    time_t when = SigningTime(p7.get(), info, store.get());
    if (when < 0) when = time(nullptr);
    const uint32_t chain = CheckChain(store.get(), cert, p7->d.sign->cert, when, 0);
    ERR_clear_error();
    return chain;
}

int64_t XpPosixSigningTime(const unsigned char* signature, size_t size, const std::string& extraRoots)
{
    Pkcs7 p7 = ReadPkcs7(signature, size);
    PKCS7_SIGNER_INFO* info = nullptr;
    if (!p7 || SignerCertificate(p7.get(), &info) == nullptr) return -1;
    Store store = TrustedRoots(extraRoots);
    const time_t when = store ? SigningTime(p7.get(), info, store.get()) : -1;
    ERR_clear_error();
    return when;
}
