// The driver manifest in the program's resources, and the verification of a file against it.
#include "installation/driver_manifest.h"

#include "support/handles.h"
#include "support/product.h"
#include "support/strings.h"

namespace {

constexpr char ManifestHeader[] = "ZQInst driver manifest 1";
constexpr size_t DigestBytes = 32;
// Files are read in pieces of this size.
constexpr DWORD ReadPieceBytes = 64 * 1024;

struct AlgorithmTraits : NullIsEmpty<BCRYPT_ALG_HANDLE> {
  static void Close(BCRYPT_ALG_HANDLE h) { BCryptCloseAlgorithmProvider(h, 0); }
};
struct HashTraits : NullIsEmpty<BCRYPT_HASH_HANDLE> {
  static void Close(BCRYPT_HASH_HANDLE h) { BCryptDestroyHash(h); }
};
using HashAlgorithm = UniqueResource<BCRYPT_ALG_HANDLE, AlgorithmTraits>;
using HashObject = UniqueResource<BCRYPT_HASH_HANDLE, HashTraits>;

// The manifest's text: part of the program's image, never released. Empty without one.
struct ManifestText {
  const char* text;
  size_t length;
};

ManifestText LoadManifest() {
  ManifestText manifest = {nullptr, 0};
  HRSRC found = FindResourceW(nullptr, DriverManifestResource, RT_RCDATA);
  if (!found) return manifest;
  HGLOBAL loaded = LoadResource(nullptr, found);
  DWORD size = SizeofResource(nullptr, found);
  const char* text = loaded ? static_cast<const char*>(LockResource(loaded)) : nullptr;
  if (text && size) manifest = {text, size};
  return manifest;
}

// One line of the manifest, split at blanks into at most four fields.
struct ManifestLine {
  const char* field[4];
  size_t length[4];
  int fields;
};

// The line starting at `at` (ending before LF, a CR before it dropped); `at` moves past it.
ManifestLine NextLine(const ManifestText& manifest, size_t* at) {
  ManifestLine line = {};
  size_t end = *at;
  while (end < manifest.length && manifest.text[end] != '\n') ++end;
  size_t stop = end > *at && manifest.text[end - 1] == '\r' ? end - 1 : end;
  for (size_t i = *at; i < stop && line.fields < 4;) {
    while (i < stop && manifest.text[i] == ' ') ++i;
    if (i == stop) break;
    line.field[line.fields] = manifest.text + i;
    while (i < stop && manifest.text[i] != ' ') ++i;
    line.length[line.fields] = static_cast<size_t>(manifest.text + i - line.field[line.fields]);
    ++line.fields;
  }
  *at = end + 1;
  return line;
}

// An ASCII field equal to a wide text; `ignoreCase` for the processor keywords.
bool FieldIs(const char* field, size_t length, LPCWSTR text, bool ignoreCase) {
  size_t i = 0;
  for (; i < length && text[i]; ++i) {
    WCHAR a = static_cast<WCHAR>(static_cast<unsigned char>(field[i])), b = text[i];
    if (ignoreCase && a >= TEXT('A') && a <= TEXT('Z')) a = static_cast<WCHAR>(a + 32);
    if (ignoreCase && b >= TEXT('A') && b <= TEXT('Z')) b = static_cast<WCHAR>(b + 32);
    if (a != b) return false;
  }
  return i == length && text[i] == 0;
}

// True when the text begins with the header line; `at` is then where the entries begin.
bool HasHeader(const ManifestText& manifest, size_t* at) {
  const size_t length = sizeof ManifestHeader - 1;
  if (!manifest.text || manifest.length < length) return false;
  for (size_t i = 0; i < length; ++i)
    if (manifest.text[i] != ManifestHeader[i]) return false;
  size_t end = length;
  if (end < manifest.length && manifest.text[end] == '\r') ++end;
  if (end < manifest.length && manifest.text[end] != '\n') return false;
  *at = end + 1;
  return true;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The size and digest an entry states; false for an entry that is malformed.
bool ReadEntry(const ManifestLine& line, ULONGLONG* size, BYTE (&digest)[DigestBytes]) {
  if (line.fields != 4 || line.length[2] == 0 || line.length[2] > 19 ||
      line.length[3] != 2 * DigestBytes)
    return false;
  *size = 0;
  for (size_t i = 0; i < line.length[2]; ++i) {
    char c = line.field[2][i];
    if (c < '0' || c > '9') return false;
    *size = *size * 10 + static_cast<ULONGLONG>(c - '0');
  }
  for (size_t i = 0; i < DigestBytes; ++i) {
    int high = HexValue(line.field[3][2 * i]), low = HexValue(line.field[3][2 * i + 1]);
    if (high < 0 || low < 0) return false;
    digest[i] = static_cast<BYTE>(high << 4 | low);
  }
  return true;
}

// The manifest's entry for the processor's file.
bool FindEntry(TargetProcessor processor, LPCWSTR fileName, ULONGLONG* size,
               BYTE (&digest)[DigestBytes]) {
  ManifestText manifest = LoadManifest();
  size_t at = 0;
  if (!HasHeader(manifest, &at)) return false;
  while (at < manifest.length) {
    ManifestLine line = NextLine(manifest, &at);
    if (line.fields >= 2 && FieldIs(line.field[0], line.length[0], RowOf(processor).keyword, true) &&
        FieldIs(line.field[1], line.length[1], fileName, true))
      return ReadEntry(line, size, digest);
  }
  return false;
}

bool Hashed(NTSTATUS status) {
  if (BCRYPT_SUCCESS(status)) return true;
  SetLastError(ERROR_INVALID_FUNCTION);  // the provider's status is no Win32 error
  return false;
}

// The file's size and SHA-256, read through one handle that lets nobody write meanwhile.
bool HashFile(LPCWSTR path, ULONGLONG* size, BYTE (&digest)[DigestBytes]) {
  KernelHandle file(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  LocalBlock<BYTE> piece(static_cast<BYTE*>(LocalAlloc(LMEM_FIXED, ReadPieceBytes)));
  if (!piece) return false;
  HashAlgorithm algorithm;
  HashObject hash;
  if (!Hashed(BCryptOpenAlgorithmProvider(algorithm.Put(), BCRYPT_SHA256_ALGORITHM, nullptr, 0)) ||
      !Hashed(BCryptCreateHash(algorithm.Get(), hash.Put(), nullptr, 0, nullptr, 0, 0)))
    return false;
  *size = 0;
  for (;;) {
    DWORD read = 0;
    if (!ReadFile(file.Get(), piece.Get(), ReadPieceBytes, &read, nullptr)) return false;
    if (read == 0) break;
    *size += read;
    if (!Hashed(BCryptHashData(hash.Get(), piece.Get(), read, 0))) return false;
  }
  return Hashed(BCryptFinishHash(hash.Get(), digest, DigestBytes, 0));
}

}  // namespace

bool HasDriverManifest() {
  size_t at = 0;
  return HasHeader(LoadManifest(), &at);
}

void DescribeDriverManifest(LPWSTR text, size_t capacity) {
  BoundedCopy(text, capacity, TEXT("none"));
  bool any = false;
  for (const ProcessorRow& row : ProcessorTable) {
    bool listed = false;
    for (LPCWSTR file : DriverFileSet) {
      ULONGLONG size = 0;
      BYTE digest[DigestBytes];
      listed = listed || FindEntry(row.processor, file, &size, digest);
    }
    if (!listed) continue;
    size_t length = static_cast<size_t>(lstrlenW(text));
    if (!any) length = 0;
    BoundedFormat(text + length, capacity - length, any ? TEXT(", %ws") : TEXT("%ws"), row.keyword);
    any = true;
  }
}

bool VerifyDriverFile(TargetProcessor processor, LPCWSTR fileName, LPCWSTR path) {
  ULONGLONG expectedSize = 0;
  BYTE expected[DigestBytes];
  if (!FindEntry(processor, fileName, &expectedSize, expected)) {
    SetLastError(ERROR_NOT_FOUND);
    return false;
  }
  ULONGLONG size = 0;
  BYTE digest[DigestBytes];
  if (!HashFile(path, &size, digest)) return false;
  bool same = size == expectedSize;
  for (size_t i = 0; i < DigestBytes; ++i) same = same && digest[i] == expected[i];
  if (!same) SetLastError(ERROR_INVALID_DATA);
  return same;
}
