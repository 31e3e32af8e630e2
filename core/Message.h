// What the domain code has to say, as identifiers with their arguments: the window and the
// command line turn a Message into words in the user's language (translations/Words.h), so no
// layer below them holds the words or depends on Qt for them.
#pragma once

#include <string>
#include <vector>

namespace korvale {

// One identifier per text; the words for each (Japanese, and English beside them) are in the
// catalog, where %1, %2... stand for the arguments.
enum class MessageId : int {
    // File calls: the system's reason for an error number.
    DiskFull,
    QuotaExceeded,
    FileTooLarge,
    AccessDenied,
    ReadOnlyFileSystem,
    NotFound,
    NotAFolderOnPath,
    NameExists,
    FolderOfSameName,
    TooManyLinks,
    PathTooLong,
    InputOutputError,
    FileBusy,
    NotARegularFile,
    OutOfMemory,
    SystemError,  // %1 the number, %2 the system's own words
    // Field validation.
    EnterInteger,
    EnterNonNegativeInteger,
    EnterIntegerInRange,    // %1 low, %2 high
    EnterAtMostCharacters,  // %1 count
    EnterAtMostBytes,       // %1 count
    // Registering files.
    LinkTargetMissing,
    NotReadableAsImage,
    TooManyFiles,     // %1 the limit
    UnreadableFiles,  // %1 count
    DuplicateFiles,   // %1 count
    IsAFolder,
    NoImagesInFolder,
    // A batch run.
    NoFilesSelected,
    NoOutputFolder,
    NoInterpolation,
    NoAnchor,
    ExtensionChangeFailed,
    Done,
    CannotOpenOutputFolder,
    CannotCreateOutputFolder,
    OutputFolderNotAFolder,
    CannotWriteOutputFolder,
    CouldNotCreateImage,
    RunCounts,        // %1 converted, %2 skipped
    RunCompleted,     // %1 the counts
    RunStopped,       // %1 the counts
    RunCancelled,     // %1 the counts
    RunEndedByError,  // %1 the counts
    NoExtension,
    FormatCannotWrite,
    ImageEngineLoadFailed,
    ReadFailed,
    BadAnchor,
    WriteFailed,
    CreateFolderQuestion,  // %1 the folder
    FailedFiles,
    ReasonWithDetail,  // %1 what failed, %2 the file and the reason
    DetailSeparator,
    MoreFailed,  // %1 count
    // Presets.
    PresetReadFailed,
    PresetReadError,
    PresetReadErrors,  // %1 count
    PresetSaveFailed,
    PresetOriginalKept,
    MmWidthRange,
    MmHeightRange,
    CalcDpiRange,
    NoPresetName,
    // Stamping a DPI into a header.
    StampNoJfif,
    StampNoPlace,
    NoResolutionEdit,  // HEIF, AVIF and JPEG XL: no DPI-only change
    // The window's side of the seam.
    DamagedSources,
    MoreDamaged,  // %1 count
    // The terminal's side of the seam.
    CreateFolderWithMkdir,  // %1 the folder
    DamagedSourceWarning,   // %1 the file
    OutputExistsStopped,    // %1 the file
    OutputExistsQuestion,   // %1 the file
    // The plan of one file, as the preview says it.
    PlanNoExtension,
    PlanUnreadable,
    PlanZeroSide,
    PlanOutputIsFolder,
    PlanTooLargeForFormat,
    PlanSameOutput,  // %1 the other file's number
    PlanTop,         // the sides of margins and cuts
    PlanBottom,
    PlanLeft,
    PlanRight,
    PlanDpiOnly,
    PlanOneToOne,
    PlanScaled,   // %1 the placed size, %2 the scale
    PlanScaleXY,  // %1 across, %2 down
    PlanMargins,  // %1 the sides
    PlanCuts,     // %1 the sides
    PlanOutput,   // %1 the name and size
    PlanPrint,    // %1 DPI, %2 width, %3 height in mm
    PlanNoDpi,
    PlanProblem,  // %1 the problem
    PlanExists,   // %1 the output's name
    // Outputs that clash.
    OutputsClash,
    ClashSameOutput,      // %1 and %2 the sources, %3 the output
    ClashReplacesSource,  // %1 the source, %2 its output, %3 the later source
    ClashMore,            // %1 count
    ClashAdvice,
    // Links and settings.
    OthersLinkInSharedFolder,  // %1 the link's target
    LinkTarget,                // %1 the link's target
    SettingsWriteFailed,
    // The number of identifiers, not one of them.
    Count
};

// A text made of parts: identifiers with arguments, and literal text (paths, names, what the
// system or a library said) that stays as it is in every language.
class Message {
public:
    struct Part {
        bool literal = true;
        MessageId id = MessageId::Count;
        std::string text;
        std::vector<Message> args;
        bool dropFullStop = false;  // said without its final full stop
    };

    Message() = default;
    // Literal text; implicit so that paths and texts already in words join a message as they are.
    Message(std::string text);  // NOLINT(google-explicit-constructor)
    Message(const char* text);  // NOLINT(google-explicit-constructor)
    Message(MessageId id, std::vector<Message> args = {});

    Message& operator+=(const Message& other);
    bool empty() const { return parts_.empty(); }
    const std::vector<Part>& parts() const { return parts_; }

    // The same message without its final full stop, to be said in brackets.
    Message WithoutFullStop() const;

private:
    std::vector<Part> parts_;
};

Message operator+(Message a, const Message& b);

// A number as an argument.
inline Message Number(long long value) {
    return Message(std::to_string(value));
}

}  // namespace korvale
