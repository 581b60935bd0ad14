#pragma once
// The layout of signed packages, read without any cryptography so that both targets and
// the fuzzers share one bounded parser:
// - a PE file (PE32 or PE32+) with its certificate table: which bytes the Authenticode
//   image digest covers (all but the checksum field, the certificate-table entry of the
//   data directories and the certificate table itself) and where the first PKCS #7
//   SignedData entry of the table lies;
// - any other file with a PKCS #7 signature appended in the Linux kernel-module format:
//   content, DER signature, a 12-byte record whose last four bytes give the signature's
//   length (big-endian), and the trailer "~Module signature appended~\n";
// - the SpcIndirectDataContent of an Authenticode signature: its digest algorithm and
//   digest.
// Every offset and length that a file gives is checked against its size before use, so
// a damaged or hostile file is refused, never read outside its bounds.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/shared/XpExecutableImage.h"

// A range of bytes of a file.
struct XpByteRange {
    uint64_t offset = 0;
    uint64_t size = 0;
};

// The parts of a PE file that decide its Authenticode digest.
struct XpPeSignatureLayout {
    bool pe32Plus = false;
    uint64_t checksumOffset = 0;   // the 4-byte checksum of the optional header
    uint64_t certEntryOffset = 0;  // the 8-byte certificate-table entry of the data directories
    XpByteRange certTable;         // size 0 when the file carries no table
    XpByteRange signature;         // the first PKCS #7 SignedData entry; size 0 when none
    // The ranges that the image digest covers, in file order.
    std::vector<XpByteRange> digested;
};

// Reads the layout of a PE file. False when the file is not a PE file. A file whose
// certificate table lies outside it, does not end the file, or holds a malformed entry
// is still a PE file, but carries no usable signature (signature.size 0) and tableBroken.
enum class XpPeLayoutResult { NotPe, Unsigned, Signed, TableBroken };
XpPeLayoutResult XpReadPeSignatureLayout(const XpByteSource& file, XpPeSignatureLayout& layout);

// The largest certificate table and the largest appended signature that are read; real
// ones are a few kilobytes.
inline constexpr uint64_t kXpMaxSignatureBytes = 1u << 20;

// The module-signature trailer and its record.
inline constexpr char kXpModuleSignatureMagic[] = "~Module signature appended~\n";
inline constexpr size_t kXpModuleSignatureMagicSize = sizeof kXpModuleSignatureMagic - 1;
inline constexpr size_t kXpModuleSignatureRecordSize = 12;
inline constexpr uint8_t kXpModuleSignatureIdPkcs7 = 2;

// The appended signature of a non-PE package: signature is the DER signature, content the
// bytes before it that it covers. False when the file has no such trailer or its record
// is not that of a PKCS #7 signature that fits the file.
bool XpReadAppendedSignature(const XpByteSource& file, XpByteRange& content, XpByteRange& signature);

// The digest that an SpcIndirectDataContent carries: the DER object identifier of the
// algorithm (without tag and length) and the digest bytes. content is the whole DER
// SEQUENCE. False when it does not have that form.
struct XpIndirectDigest {
    std::vector<unsigned char> algorithm;
    std::vector<unsigned char> digest;
};
bool XpReadIndirectDigest(const unsigned char* content, size_t size, XpIndirectDigest& digest);

// The bytes inside one DER element at data (tag, length): the element's content, or
// false when the element is not complete within size bytes or uses an indefinite or
// oversized length. header gets the size of tag and length.
bool XpDerElement(const unsigned char* data, size_t size, unsigned char* tag, size_t* header, size_t* length);
