#include "AISuites.h"

namespace ai::suite {

BasicSuite* basic = nullptr;
const AccessSuite* access = nullptr;
const PluginsSuite* plugins = nullptr;
const NotifierSuite* notifier = nullptr;
const ContextSuite* context = nullptr;
const UserSuite* user = nullptr;
const FilePathSuite* filePath = nullptr;
const FoldersSuite* folders = nullptr;
const BlocksSuite* blocks = nullptr;
const MenuSuite* menu = nullptr;
const UnicodeStringSuite* unicodeString = nullptr;
const DocumentSuite* document = nullptr;
const DocumentListSuite* documentList = nullptr;
const DictionarySuite* dictionary = nullptr;
const ActionManagerSuite* actionManager = nullptr;
const MatchingArtSuite* matchingArt = nullptr;
const MdMemorySuite* mdMemory = nullptr;
const ArtSuite* art = nullptr;
const ArtboardSuite* artboard = nullptr;

}  // namespace ai::suite
