#pragma once
// The working type of an FB type editor as the text of its type file. Every
// undo step holds two such texts: the type before and after the user's
// action. Writing goes through the one type writer, so a step restores
// exactly what a save would have written; a base file keeps what the model
// does not hold (unknown elements and attributes) across the round trip.

#include <filesystem>
#include <memory>
#include <string>

namespace telvo {

class TFB_Manager;
class TFB_Type;

class TTypeSnapshots {
public:
    // `folder` is a private scratch folder the editor owns.
    explicit TTypeSnapshots(std::filesystem::path folder);

    // The file text the type would be saved as, starting from the base text.
    std::string Write(const TFB_Type& type) const;
    // Writes the type to a real file (atomically), starting from the base.
    // Returns false when the writer refused (a composite type without network).
    bool Save(const TFB_Type& type, const std::filesystem::path& file) const;
    // Reads a file text into a fresh type. Throws EXmlParseError for text
    // that does not parse; returns none when the root is not FBType.
    static std::unique_ptr<TFB_Type> Read(const std::string& text, TFB_Manager* manager,
                                          const std::string& fileNameForMessages = "");

    // The text whatever the model lacks is taken from; empty for none.
    // `readFromIt` is the type read from that text: as long as its inner
    // network is not changed, the base's network is written as it stands
    // (the writer would reorder its connections, and drop parts whose types
    // the library lacks).
    void SetBase(const std::string& text, const TFB_Type* readFromIt = nullptr);
    // Whether the type's inner network is the base's, unchanged.
    bool KeepsBaseNetwork(const TFB_Type& type) const;
    // The text with the network written from the model in any case.
    std::string WriteNetwork(const TFB_Type& type) const;
    const std::string& Base() const { return base_; }

private:
    std::filesystem::path folder_;
    std::string writeText(const TFB_Type& type, bool network) const;

    std::string base_;
    std::string baseNetwork_; // the base type's network as the writer writes it
};

} // namespace telvo
