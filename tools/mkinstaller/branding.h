// The strings of the installer's version information a release sets for its
// brand (Windows shows them in the file's properties, in the elevation prompt
// and, through tools/sign.sh, in the signature's description). The stub's
// own come from cmake/Version.cmake. Plain values; any thread.
#pragma once
#include <string>

// UTF-8 values; an empty one keeps the stub's string.
struct Branding {
    std::string company;      // CompanyName
    std::string description;  // FileDescription
    std::string copyright;    // LegalCopyright
    std::string productName;  // ProductName

    // Takes each value of other that is set; throws PInternalError naming the
    // first one set in both (a value comes from one place only).
    void Merge(const Branding& other, const char* otherName);
};

// Reads a brand file (--brand): "key=value" lines, UTF-8 (a byte-order mark
// is dropped), CR LF or LF, empty lines and lines starting with '#' or ';'
// ignored; the keys are company, description, copyright and product-name.
// Throws PInternalError naming the line for an unknown or repeated key, an
// empty value, a line without '=' or text that is not UTF-8.
Branding ReadBrandFile(const std::string& bytes);

// The stub's application manifest (UTF-8 XML) made the brand's: the text of
// its <description> element becomes description (escaped for XML; kept when
// empty) and the name attribute of its <assemblyIdentity> assemblyName.
// Throws PInternalError when the manifest has no such element or attribute.
std::string BrandedManifest(const std::string& manifest, const std::string& description,
                            const std::string& assemblyName);

// An assembly name made from a file name's stem: its letters, digits, '.',
// '-' and '_' (ASCII); "Setup" when none is left.
std::string AssemblyNameOf(const std::string& stem);
