#include "platform/shared/XpSignedImage.h"

#include <cstring>

namespace {

uint16_t U16(const unsigned char* p)
{
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

uint32_t U32(const unsigned char* p)
{
    return static_cast<uint32_t>(U16(p)) | (static_cast<uint32_t>(U16(p + 2)) << 16);
}

constexpr size_t kCoffBytes = 24;  // "PE\0\0" and the file header
constexpr size_t kChecksumField = 64;
constexpr size_t kCertificateDirectory = 4;
constexpr uint16_t kCertRevision2 = 0x0200;  // WIN_CERT_REVISION_2_0
constexpr uint16_t kCertPkcsSignedData = 2;  // WIN_CERT_TYPE_PKCS_SIGNED_DATA
constexpr size_t kCertHeaderBytes = 8;       // dwLength, wRevision, wCertificateType

void SetDigested(XpPeSignatureLayout& layout, uint64_t end)
{
    layout.digested = {{0, layout.checksumOffset},
                       {layout.checksumOffset + 4, layout.certEntryOffset - (layout.checksumOffset + 4)},
                       {layout.certEntryOffset + 8, end - (layout.certEntryOffset + 8)}};
}

// The first PKCS #7 SignedData entry of a certificate table already in memory.
bool FindSignatureEntry(const std::vector<unsigned char>& table, uint64_t tableOffset, XpByteRange& signature)
{
    size_t position = 0;
    while (table.size() - position >= kCertHeaderBytes) {
        const uint32_t length = U32(table.data() + position);
        if (length < kCertHeaderBytes || length > table.size() - position) return false;
        if (U16(table.data() + position + 4) == kCertRevision2 &&
            U16(table.data() + position + 6) == kCertPkcsSignedData) {
            signature = {tableOffset + position + kCertHeaderBytes, length - kCertHeaderBytes};
            return true;
        }
        // Entries start on 8-byte boundaries.
        const size_t next = (static_cast<size_t>(length) + 7) & ~static_cast<size_t>(7);
        if (next > table.size() - position) return false;
        position += next;
    }
    return false;
}

}  // namespace

XpPeLayoutResult XpReadPeSignatureLayout(const XpByteSource& file, XpPeSignatureLayout& layout)
{
    layout = XpPeSignatureLayout();
    const uint64_t fileSize = file.Size();
    unsigned char dos[64];
    if (!file.ReadAt(0, dos, sizeof dos) || dos[0] != 'M' || dos[1] != 'Z') return XpPeLayoutResult::NotPe;
    const uint64_t ntHeaders = U32(dos + 0x3C);
    unsigned char coff[kCoffBytes];
    if (!file.ReadAt(ntHeaders, coff, sizeof coff) || std::memcmp(coff, "PE\0\0", 4) != 0) {
        return XpPeLayoutResult::NotPe;
    }
    const uint64_t optionalOffset = ntHeaders + kCoffBytes;
    const uint16_t optionalSize = U16(coff + 20);
    unsigned char magic[2];
    if (optionalSize < 2 || !file.ReadAt(optionalOffset, magic, sizeof magic)) return XpPeLayoutResult::NotPe;
    size_t countField = 0;
    size_t directories = 0;
    switch (U16(magic)) {
        case 0x10B:
            countField = 92;
            directories = 96;
            break;
        case 0x20B:
            layout.pe32Plus = true;
            countField = 108;
            directories = 112;
            break;
        default:
            return XpPeLayoutResult::NotPe;
    }
    const size_t entry = directories + kCertificateDirectory * 8;
    std::vector<unsigned char> optional(optionalSize);
    if (!file.ReadAt(optionalOffset, optional.data(), optional.size())) return XpPeLayoutResult::NotPe;
    // Without a certificate-table entry the file is a PE file that cannot carry a signature.
    if (optionalSize < entry + 8 || U32(optional.data() + countField) <= kCertificateDirectory) {
        return XpPeLayoutResult::NotPe;
    }
    layout.checksumOffset = optionalOffset + kChecksumField;
    layout.certEntryOffset = optionalOffset + entry;
    const uint64_t tableOffset = U32(optional.data() + entry);
    const uint64_t tableSize = U32(optional.data() + entry + 4);
    if (tableOffset == 0 && tableSize == 0) {
        SetDigested(layout, fileSize);
        return XpPeLayoutResult::Unsigned;
    }
    // The table must follow the headers and end the file: bytes after it would be covered
    // by no signature at all.
    const uint64_t headersEnd = layout.certEntryOffset + 8;
    if (tableOffset < headersEnd || tableSize < kCertHeaderBytes || tableSize > kXpMaxSignatureBytes ||
        tableOffset > fileSize || fileSize - tableOffset != tableSize) {
        return XpPeLayoutResult::TableBroken;
    }
    layout.certTable = {tableOffset, tableSize};
    SetDigested(layout, tableOffset);
    std::vector<unsigned char> table(static_cast<size_t>(tableSize));
    if (!file.ReadAt(tableOffset, table.data(), table.size()) ||
        !FindSignatureEntry(table, tableOffset, layout.signature)) {
        layout.signature = XpByteRange();
        return XpPeLayoutResult::TableBroken;
    }
    return XpPeLayoutResult::Signed;
}

bool XpReadAppendedSignature(const XpByteSource& file, XpByteRange& content, XpByteRange& signature)
{
    constexpr size_t kTail = kXpModuleSignatureRecordSize + kXpModuleSignatureMagicSize;
    const uint64_t fileSize = file.Size();
    unsigned char tail[kTail];
    if (fileSize < kTail || !file.ReadAt(fileSize - kTail, tail, kTail)) return false;
    if (std::memcmp(tail + kXpModuleSignatureRecordSize, kXpModuleSignatureMagic, kXpModuleSignatureMagicSize) != 0) {
        return false;
    }
    // algorithm, hash, id type, signer length, key-id length, three bytes of padding, and
    // the signature's length; only the id type and the length mean anything for PKCS #7.
    if (tail[2] != kXpModuleSignatureIdPkcs7) return false;
    const uint64_t length = (static_cast<uint64_t>(tail[8]) << 24) | (static_cast<uint64_t>(tail[9]) << 16) |
                            (static_cast<uint64_t>(tail[10]) << 8) | tail[11];
    if (length == 0 || length > kXpMaxSignatureBytes || length > fileSize - kTail) return false;
    signature = {fileSize - kTail - length, length};
    content = {0, signature.offset};
    return true;
}

bool XpDerElement(const unsigned char* data, size_t size, unsigned char* tag, size_t* header, size_t* length)
{
    if (size < 2 || (data[0] & 0x1F) == 0x1F) return false;  // no high tag numbers in these structures
    *tag = data[0];
    size_t used = 2;
    size_t value = data[1];
    if (value & 0x80) {
        const size_t bytes = value & 0x7F;
        if (bytes == 0 || bytes > 4 || size < 2 + bytes) return false;  // indefinite or oversized
        value = 0;
        for (size_t i = 0; i < bytes; ++i) value = (value << 8) | data[2 + i];
        used += bytes;
    }
    if (value > size - used) return false;
    *header = used;
    *length = value;
    return true;
}

namespace {

// Steps into one element of the expected tag: data/size then describe its content, and
// rest/restSize what follows it.
bool Enter(const unsigned char*& data, size_t& size, unsigned char wanted, const unsigned char** rest = nullptr,
           size_t* restSize = nullptr)
{
    unsigned char tag = 0;
    size_t header = 0;
    size_t length = 0;
    if (!XpDerElement(data, size, &tag, &header, &length) || tag != wanted) return false;
    if (rest) {
        *rest = data + header + length;
        *restSize = size - header - length;
    }
    data += header;
    size = length;
    return true;
}

constexpr unsigned char kSequence = 0x30;
constexpr unsigned char kObjectId = 0x06;
constexpr unsigned char kOctetString = 0x04;

}  // namespace

bool XpReadIndirectDigest(const unsigned char* content, size_t size, XpIndirectDigest& digest)
{
    // SpcIndirectDataContent ::= SEQUENCE { data SEQUENCE {...}, messageDigest DigestInfo }
    // DigestInfo ::= SEQUENCE { AlgorithmIdentifier SEQUENCE { OID, parameters }, OCTET STRING }
    const unsigned char* p = content;
    size_t n = size;
    const unsigned char* rest = nullptr;
    size_t restSize = 0;
    if (!Enter(p, n, kSequence) || !Enter(p, n, kSequence, &rest, &restSize)) return false;
    p = rest;
    n = restSize;
    if (!Enter(p, n, kSequence)) return false;
    const unsigned char* info = p;
    size_t infoSize = n;
    if (!Enter(info, infoSize, kSequence, &rest, &restSize)) return false;
    const unsigned char* oid = info;
    size_t oidSize = infoSize;
    if (!Enter(oid, oidSize, kObjectId) || oidSize == 0) return false;
    const unsigned char* value = rest;
    size_t valueSize = restSize;
    if (!Enter(value, valueSize, kOctetString) || valueSize == 0 || valueSize > 64) return false;
    digest.algorithm.assign(oid, oid + oidSize);
    digest.digest.assign(value, value + valueSize);
    return true;
}
