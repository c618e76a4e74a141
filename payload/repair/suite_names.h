// Names and constants of the product suite and of the repair program's results.
#pragma once

namespace repair {

// Results of a run: 1 means the run stopped on a failure or met at least one warning.
inline constexpr int RETVAL_NO_PROBLEMS_FOUND = 0;
inline constexpr int RETVAL_PROBLEMS_DETECTED = 1;

// Mode in which text files are opened for reading.
inline constexpr int FOR_READING = 1;

// The program's version text, printed as "Version " + it.
inline constexpr wchar_t SCRIPT_VERSION[] = L"6.1";

// The anti-virus service and the installer product names of the suite.
inline constexpr wchar_t ZAVServiceName[] = L"ZAVService";
inline constexpr wchar_t ZAVProductName[] = L"Zorvan Anti-Virus";
inline constexpr wchar_t RMSProductName[] = L"Zorvan Remote Management System";

// Detection-data files in the anti-virus product's installation folder.
inline constexpr wchar_t PROBLEM_IDE_NAME[] = L"qirm-ost.ide";  // causes the false positive
inline constexpr wchar_t GOOD_IDE_NAME[] = L"tulov-ek.ide";     // fixes it; carried below
inline constexpr wchar_t NEWER_IDE_NAME[] = L"prad-wen.ide";    // newer detection data arrived

// The carried content of the fixing detection-data file (data/tulov-ek.ide, embedded by the
// build).
extern const unsigned char kGoodIde[];
extern const unsigned kGoodIde_size;

}  // namespace repair
