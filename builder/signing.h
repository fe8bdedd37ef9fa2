// Authenticode signing of a configured launcher: the [sign] settings, finding a signature in a
// launcher file, the signing tool's command line, and signing a file in one step that either
// replaces the output whole or leaves nothing behind.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace jaunt {

// A launcher that cannot be signed, a signing tool that is missing or fails. The message is
// complete and meant for the user.
class SigningError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The [sign] table of a configuration; paths resolved against the configuration's directory.
struct SignSettings {
    std::string certificate;   // PKCS#12 file, or a PEM certificate when key is set
    std::string key;           // PEM private key; empty with a PKCS#12 certificate
    std::string passwordEnv;   // name of the environment variable holding the password
    std::string passwordFile;  // file whose first line is the password
    std::string timestampUrl;  // RFC 3161 time-stamp server; empty: no time stamp
    std::string description;
    std::string url;
    // How long the signing tool may take (a time-stamp server may never answer).
    int timeoutSeconds = 300;
};

// The certificate table of a PE image (data directory entry 4): its file offset and size.
struct SignatureLocation {
    uint32_t offset = 0;
    uint32_t size = 0;
    bool present() const { return size != 0; }
};

// Reads the certificate table entry of a launcher image (PE32 or PE32+). Throws SigningError when
// the entry points outside the file or before the end of the image's sections.
SignatureLocation findSignature(const std::vector<uint8_t>& exe);

// Throws SigningError unless the signature lies at or after dataEnd, where the launcher's own data
// (image, table, included files) ends: a signature anywhere else is no launcher's.
void checkSignatureAfter(const SignatureLocation& signature, uint64_t dataEnd);

// The launcher as it was before signing: the certificate table and the alignment padding before
// it cut off, the certificate entry and the checksum cleared (signing computes the checksum anew).
// payloadEnd is where the launcher's own data ends (the end of its last included file); the zero
// bytes between it and the table are padding.
std::vector<uint8_t> withoutSignature(const std::vector<uint8_t>& exe, uint64_t payloadEnd);

enum class SigningTool { Osslsigncode, Signtool };

// The arguments (without the program) that sign input into output. The password is never among
// them: osslsigncode reads it from passwordPath (empty: the empty password).
std::vector<std::string> signingArguments(SigningTool tool, const SignSettings& settings, const std::string& input,
                                          const std::string& output, const std::string& passwordPath);

// Renames from to to, replacing a file there in one step.
void moveIntoPlace(const std::string& from, const std::string& to);

// Writes exe to output through a temporary file beside it, and signs it on the way when signing
// is given: output appears (or is replaced) only when everything worked. Returns the signing
// tool's name, or an empty string when nothing was signed.
std::string writeLauncherFile(const std::string& output, const std::vector<uint8_t>& exe,
                              const SignSettings* signing);

// Signs the launcher at input and writes the signed launcher to output, through a temporary file
// beside output that replaces it only when everything worked. Checks that the signature was
// appended and that nothing before it changed (the headers' checksum and certificate entry apart).
// Returns the signing tool's name.
std::string signLauncher(const SignSettings& settings, const std::string& input, const std::string& output);

}  // namespace jaunt
