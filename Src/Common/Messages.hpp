// Every text the command shows: the report-window lines, the completion alert, the names of its
// undoable steps and the file dialog's title and filter. Each says when it appears.
//
// Two kinds of report line:
// - a host format, ending in ": %d": the module passes it with flag 1 and the host's error code,
//   and the host writes the code in place of "%d";
// - a finished line, passed with flag 0: "{}" marks where a value goes, in order
//   (Common/MessageFormat.hpp).
#pragma once

namespace Quillmere::Messages {

// --- Names of the undoable steps ----------------------------------------------------------------

// One step per owned property group that the command removes before the import.
constexpr const char* DeleteGroupsStep = "Delete Property Groups";
// The host's import of the configuration's classification systems.
constexpr const char* ImportClassificationsStep = "Import Classifications";
// The host's import of the configuration's property groups and definitions.
constexpr const char* ImportPropertiesStep = "Import Properties";
// One step per re-imported definition that gets a saved expression list back.
constexpr const char* ImportExpressionsStep = "Import Expressions";

// --- The file dialog ---------------------------------------------------------------------------

// The title of the dialog in which the user chooses the configuration file.
#define QM_DIALOG_TITLE "Select an IFC-SG Config File"
// Its filter pairs, each string ending in NUL; the first pair is selected when it opens.
#define QM_DIALOG_FILTER "IFC-SG Config File\0*.xml\0Any File\0*.*\0"

// --- Host formats (flag 1; the host writes the error code in place of "%d") ----------------------

// The expression export cannot list the property definitions, or read the group of one of them:
// nothing is removed or imported (NothingRemovedLine follows).
constexpr const char* ExpressionsExportError = "Expressions Export Error: %d";
// The backup cannot list the project's elements; nothing is removed or imported.
constexpr const char* ListElementsError = "Error 1: %d";
// The backup cannot list one element's property definitions; nothing is removed or imported.
constexpr const char* ListElementDefinitionsError = "Error 2: %d";
// The backup cannot read the group of one definition, so it cannot tell whether the definition's
// values are owned; nothing is removed or imported.
constexpr const char* ReadGroupError = "Error 3: %d";
// The backup cannot read an element's value of an owned property; nothing is removed or imported.
constexpr const char* ReadValueError = "Error 4: %d";
// The value backup file cannot be written; the code is the system's error, not the host's. The
// earlier file stays as it was, and this run's values are still restored from memory; before the
// owned groups are removed they are kept in the store instead (NotSafeValuesLine when that fails too).
constexpr const char* BackupWriteError = "Backup Write Error: %d";
// One owned property group cannot be removed; it stays, and the other groups are still removed.
constexpr const char* DeleteGroupError = "Deleting properties error: %d";
// The host's classification import fails.
constexpr const char* ClassificationImportError = "Classification Import Error: %d";
// The host's property import fails: no expression list or value is brought back by this run; they
// are kept for a later one.
constexpr const char* PropertiesImportError = "Properties Import Error: %d";
// The expression import cannot list the property definitions; the saved lists stay for a later run.
constexpr const char* ExpressionsListError = "Error: %d";
// One re-imported definition does not take its saved expression list.
constexpr const char* ExpressionsImportError = "Expressions Import Error: %d";

// --- Finished lines (flag 0) --------------------------------------------------------------------

// The expression export or the backup could not save everything the owned groups carry (its line
// comes first), so the run stops before it removes anything: the project is as it was.
constexpr const char* NothingRemovedLine =
    "Nothing was removed or imported: the expression lists and values of the owned property groups could not all be "
    "saved";
// The saved values could be written neither to the value backup (its path and why) nor to the
// store of kept values (its path and why), so the run stops before it removes anything.
constexpr const char* NotSafeValuesLine =
    "Nothing was removed or imported: the saved values could be written neither to the value backup \"{}\" ({}) nor "
    "to the store of kept values \"{}\" ({})";
// Neither "USERPROFILE" nor "LOCALAPPDATA" is set, so nothing saved could be put on disk.
constexpr const char* NotSafeNoProfileLine =
    "Nothing was removed or imported: neither \"USERPROFILE\" nor \"LOCALAPPDATA\" is set, so the saved values and "
    "expression lists could not be written to disk";
// The saved expression lists, which only the store keeps, could not be written to it (path, why).
constexpr const char* NotSafeListsLine =
    "Nothing was removed or imported: the saved expression lists could not be written to the store of kept values "
    "\"{}\" ({})";

// The run stopped early because of an unexpected failure; the reason follows ("std::bad_alloc"
// when memory ran out). The project stays as the finished undoable steps left it.
constexpr const char* StoppedCommandLine = "Import IFC-SG Classifications and Properties stopped: {}";

// The configuration chosen in the dialog cannot be read (path, why): the run ends before it
// saves, removes or imports anything, as after a cancelled dialog.
constexpr const char* UnreadableConfigurationLine =
    "The configuration file \"{}\" could not be read ({}); nothing was changed";

// A value could not be written back to its element: group, property.
constexpr const char* RestoreWriteErrorLine = "{} - {} error while importing property";

// "USERPROFILE" is not set: no backup file is written; the values come back from memory, and are
// kept in the store of kept values before anything is removed.
constexpr const char* NoProfileLine =
    "\"USERPROFILE\" is not set: the value backup is kept for this command only and not written to a file";

// The project holds no owned group (the marker follows in quotes), so this run saves no values and
// leaves the earlier run's backup file (path) as it is.
constexpr const char* KeptEarlierBackupLine =
    "No property group of the project is owned (\"{}\"): no values were saved, and the value backup \"{}\" of an "
    "earlier run is left as it is";

// --- The store of kept values -------------------------------------------------------------------

// The store cannot be opened, read or written (its path, and why: the system's error or SQLite's
// words, such as "database is locked" when another host instance held it longer than the command
// waits). The run goes on without it while the backup file holds its values; a run that saved
// expression lists, which only the store keeps, or whose backup file could not be written stops
// before it removes anything (NotSafeListsLine, NotSafeValuesLine). What the run would have kept
// is told of by the lines below.
constexpr const char* StoreUnusableLine =
    "The store of kept values \"{}\" could not be used ({}): this run reads nothing from it and keeps nothing in it";
// The store was damaged (its path): it is renamed (the new name) and a new one begun.
constexpr const char* StoreSetAsideLine =
    "The store of kept values \"{}\" was damaged: it is kept as \"{}\" and a new store was begun; what it kept does "
    "not come back by itself";
// A file an earlier version of the add-on kept beside the backup cannot be read (its path, and why):
// it stays where it is.
constexpr const char* EarlierFileUnreadableLine =
    "The file \"{}\" that an earlier version of the add-on kept could not be read ({}): it stays as it is, and "
    "what it holds does not come back by itself";
// Why (besides a system error or the XML parser's words with the byte): the history is not one, a
// kept file is empty, has no root element, or nests its elements deeper than the reader follows.
constexpr const char* NotAHistoryReason = "it is no history of runs";
constexpr const char* FileEmptyReason = "the file is empty";
constexpr const char* NoRootElementReason = "no root element";
constexpr const char* NestedTooDeepReason = "elements nested too deep";

// Problems of the rename table beside the configuration (path first). A table that cannot be used
// at all leaves the names as they are: why, as FileProblem::Detail() gives it ("system error 5", or
// expat's reason such as "mismatched tag" or "duplicate attribute" with line and byte, or one of
// the reasons below).
constexpr const char* RenameTableUnusableLine =
    "The rename table \"{}\" could not be used ({}); values and expressions follow their own names only";
// The table has a document type declaration (its name), which the command does not read.
constexpr const char* RenameTableDocumentTypeReason = "a document type declaration \"{}\"";
// The table uses an entity other than XML's five (amp, lt, gt, quot, apos), which the command does
// not expand (its name).
constexpr const char* RenameTableEntityReason = "the undefined entity \"&{};\"";
// The table is XML but its root element is not "renames".
constexpr const char* RenameTableNoRootReason = "no \"renames\" root element";
// A bad entry is skipped: path, entry number, the entry's element name, and why.
constexpr const char* RenameTableEntrySkippedLine = "The rename table \"{}\" entry {} (\"{}\") is skipped: {}";
// It lacks an attribute (its name).
constexpr const char* EntryAttributeMissingReason = "it has no \"{}\" attribute";
constexpr const char* EntryUnknownReason = "it is neither a group nor a property entry";

// --- What a run did not bring back, and what came back from earlier runs ----------------------

// Counted things in the lines below, as one or as many (CountedText in MessageFormat.hpp).
constexpr const char* OneSavedValue = "1 saved value";
constexpr const char* SavedValues = "{} saved values";
constexpr const char* OneValue = "1 value";
constexpr const char* ManyValues = "{} values";
constexpr const char* OneExpressionList = "1 expression list";
constexpr const char* ExpressionLists = "{} expression lists";

// One line per group and property whose values this run saved and did not all bring back: group,
// property, how many did not come back, of how many saved values, the reasons (below, joined by
// ", "), and the store that keeps them. A later run brings them back by itself where its
// configuration defines the property (or a rename of it) and the property is still as this run
// left it.
constexpr const char* ValuesNotBroughtBackLine = "{} / {}: {} of {} not brought back ({}); kept in \"{}\"";
// The same when they cannot be kept (the reason below).
constexpr const char* ValuesNotKeptLine = "{} / {}: {} of {} not brought back ({}); they could not be kept: {}";
// Why they could not be kept: there is no profile folder; the store could not be used (its path
// and why), and, when it was written, the value backup (path) holds them until a run writes it anew.
constexpr const char* NoProfileReason = "\"USERPROFILE\" is not set";
constexpr const char* StoreNotUsedReason = "the store of kept values \"{}\" could not be used ({})";
constexpr const char* InBackupUntilRewritten = "{}; they are in the value backup \"{}\" until a run writes it anew";
// The project's identity could not be found (the host could not list its elements).
constexpr const char* ProjectUnknownReason = "the project could not be named";
// The reason that no owned property of that name (nor a rename of it) is defined for the element by
// the configuration, with how many values it holds for.
constexpr const char* NotDefinedReason = "{} not defined by the configuration";
// The host refused the value, or could not list or name the element's properties.
constexpr const char* NotWrittenReason = "{} could not be written";
// The value's text does not convert exactly to the type the property has now.
constexpr const char* NotConvertibleReason = "{} not convertible to the property's type";
// The property the rename table renames it to took another saved value: one saved under its new
// name, or under a later entry's earlier name.
constexpr const char* GaveWayReason = "{} gave way to another saved value of the property they are renamed to";
// The rename table gives them a property of a group that is not owned (a standard set), and the
// element holds a value of its own there, which stands.
constexpr const char* OccupiedReason = "{} not written over the value the property they are renamed to holds";

// One line per expression list this run saved and did not bring back: group, property, the reason
// (below) and the store that keeps it.
constexpr const char* ListNotBroughtBackLine =
    "{} / {}: the saved expression list was not brought back ({}); it is kept in \"{}\"";
// The same when it cannot be kept (why, as for values).
constexpr const char* ListNotKeptLine =
    "{} / {}: the saved expression list was not brought back ({}); it could not be kept: {}";
// Why a list did not come back: the configuration does not define its property (nor a rename of it).
constexpr const char* ListNotDefinedReason = "the configuration does not define the property";
// The host refused the list, or the definitions could not be listed or named.
constexpr const char* ListNotWrittenReason = "it could not be written";
// The property the rename table renames it to took another saved list.
constexpr const char* ListGaveWayReason = "it gave way to another saved list of the property it is renamed to";
// The rename table gives it a definition of a group that is not owned, which has a list of its own.
constexpr const char* ListOccupiedReason = "the property it is renamed to has an expression list of its own";

// An entry of the rename table that leads nowhere: table path, entry number, the entry's element,
// its target (below), and how many saved values and expression lists of its earlier name this run
// kept therefore (counted, above).
constexpr const char* RenameEntryNoTargetLine =
    "The rename table \"{}\" entry {} (\"{}\") renames to {}: {} and {} of its earlier name are kept";
// The target of a property entry (group, property), or of a group entry (group), that the
// configuration does not define (owned, or another group such as a standard set).
constexpr const char* RenameTargetProperty = "{} / {}, which the configuration does not define";
constexpr const char* RenameTargetGroup = "the group {}, which the configuration does not define";
// An entry whose earlier name's values gave way to other saved values of the property it renames to
// (one saved under the new name, or under a later entry's earlier name): table path, entry number,
// its element, how many (counted, above).
constexpr const char* RenameEntryGaveWayLine =
    "The rename table \"{}\" entry {} (\"{}\"): {} of its earlier name gave way to other saved values of the "
    "property it renames to; they are kept";

// The property import failed, so nothing was brought back: the store where the values and the lists
// are kept until an import succeeds.
constexpr const char* NothingBroughtBackLine =
    "No value or expression list was brought back: they are kept in \"{}\" for the next import";
// The same when they could not be kept, with why (as above): undoing the run brings them back.
constexpr const char* NothingBroughtBackNotKeptLine =
    "No value or expression list was brought back, and the values could not be kept: {}; "
    "undoing the run brings them back";

// Values that an earlier run saved came back (written into their properties): how many (counted,
// above), when that run saved them, and the store that kept them. One line per earlier run.
constexpr const char* ValuesCameBackLine = "{} came back from an earlier run, saved {} (\"{}\")";
// Expression lists that an earlier run saved came back: how many (counted), when, and the store.
constexpr const char* ListsCameBackLine = "{} came back from an earlier run, saved {} (\"{}\")";

// Kept values of an earlier run that end, one line per group and property and reason: group,
// property, when that run saved the newest of them, how many (counted), and why (below). They leave
// the store.
constexpr const char* KeptValuesEndedLine = "{} / {}: kept from an earlier run (saved {}), {} no longer waiting: {}";
// The same for a kept expression list: group, property, when, why.
constexpr const char* KeptListEndedLine =
    "{} / {}: the expression list kept from an earlier run (saved {}) no longer waits: {}";
// Why: the property has been changed or cleared since that run left it, and that stands; a newer
// value of the property came back or is kept instead; the elements were removed from the project.
constexpr const char* EndedChangedReason = "the property has been changed or cleared since, and that stands";
constexpr const char* EndedSupersededReason = "a newer value of the property came back or is kept instead";
constexpr const char* EndedElementGoneReason = "their elements are no longer in the project";

// What the store keeps for the project after the run, one line when there is anything: the store,
// how many values and expression lists (counted, above; joined by ", "), and their groups (joined
// by ", ").
constexpr const char* WaitingLine = "Waiting in \"{}\" for an import that defines their properties: {} ({})";

// --- The completion alert -----------------------------------------------------------------------

// Shown at the end of a run in which a configuration was chosen and read, both imports succeeded,
// the expression import could list the definitions and the restore had somewhere to take values
// from (it has not when the project held no owned group and the store of kept values could not be
// used, or neither "LOCALAPPDATA" nor "USERPROFILE" is set), whether or not single expression
// lists or values could be written or files of earlier runs read. Not after a cancelled dialog,
// nor after a run that stopped.
constexpr const char* CompletionAlertTitle = "Import Successful";
constexpr const char* CompletionAlertText = "IFC-SG Classifications and Properties are Imported Successfully!";
constexpr const char* CompletionAlertButton = "Ok";

}  // namespace Quillmere::Messages
