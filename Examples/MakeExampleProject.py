#!/usr/bin/env python3
"""Writes Examples/CommunityClinic.xml, the example project: a three-storey community clinic whose
classification items, property groups and definitions are those of the IFC-SG 2025.1 configuration
(Examples/Configurations/IFC-SG-2025.xml), with the office's own group next to them, values on the
elements and expressions on some owned definitions.

With --edition 2027 it writes Examples/CommunityClinic-2027.xml instead: the same clinic as it
stands after the upgrades to 2026.1 and 2027.1 (the group and property that 2026.1 renamed under
their new names, the same values and expressions), with values entered for what 2026.1 and 2027.1
added, and the railings of its stairs and roof. It is the project for the upgrade to 2028.1
(docs/upgrading.md), whose elements hold values for every property that 2028.1 moves, renames,
retypes, splits or withdraws.

The file is written in the test host's project format (docs/project-format.md) exactly as the host
writes it, so reading and saving it again gives the same bytes. GUIDs are derived from names, so
running the script again gives the same file, and an element has the same GUID in both projects.

    python3 Examples/MakeExampleProject.py                          # writes Examples/CommunityClinic.xml
    python3 Examples/MakeExampleProject.py OUT.xml                  # writes OUT.xml
    python3 Examples/MakeExampleProject.py --edition 2027           # writes Examples/CommunityClinic-2027.xml
    python3 Examples/MakeExampleProject.py --edition 2027 OUT.xml   # writes OUT.xml
"""

import math
import sys
import uuid
import xml.etree.ElementTree as ET
from pathlib import Path

HERE = Path(__file__).resolve().parent
# By edition: the configuration the project's definitions come from and the file written.
EDITIONS = {
    "2025": (HERE / "Configurations" / "IFC-SG-2025.xml", HERE / "CommunityClinic.xml"),
    "2027": (HERE / "Configurations" / "IFC-SG-2027.xml", HERE / "CommunityClinic-2027.xml"),
}
# What the 2026.1 upgrade renamed (Examples/Configurations/IFC-SG-2026.renames.xml): the values and
# expressions of the 2025.1 names stand under the new ones in later editions.
RENAMED_IN_2026 = {
    ("SGPset_Column", None): "SGPset_StructuralColumn",
    ("SGPset_Space", "OccupancyType"): "OccupancyClass",
}
NAMESPACE = uuid.UUID("6f1c2a4e-9b1d-4c55-8e0a-3d2b7c9e4f10")

VALUE_TYPES = ["Undefined", "Integer", "Real", "String", "Boolean"]
MEASURES = ["Default", "Length", "Area", "Volume", "Angle"]


def guid(key):
    return str(uuid.uuid5(NAMESPACE, "CommunityClinic/" + key)).upper()


def escape(text):
    out = []
    for c in text:
        if c == "&":
            out.append("&amp;")
        elif c == "<":
            out.append("&lt;")
        elif c == '"':
            out.append("&quot;")
        elif ord(c) < 0x20:
            out.append("&#%02d;" % ord(c))
        else:
            out.append(c)
    return "".join(out)


def real_text(value):
    # The shortest text that reads back as the same number, as the host writes it (3, not 3.0).
    value = float(value)
    if math.isfinite(value) and value == int(value) and abs(value) < 1e16:
        return str(int(value))
    return repr(value)


def value_text(value_type, value):
    if value_type == "Integer":
        return str(int(value))
    if value_type == "Real":
        return real_text(value)
    if value_type == "Boolean":
        return "true" if value else "false"
    return "" if value is None else str(value)


def default_text(value_type, text):
    # Configuration defaults in the host's own text form.
    if text is None:
        return {"Integer": "0", "Real": "0", "Boolean": "false"}.get(value_type, "")
    if value_type == "Real":
        return real_text(float(text))
    if value_type == "Boolean":
        return "true" if text in ("true", "1") else "false"
    return text


def tag(depth, name, attributes, empty=True):
    text = "  " * depth + "<" + name
    for key, value in attributes:
        text += ' %s="%s"' % (key, escape(value))
    return text + ("/>" if empty else ">")


class Model:
    def __init__(self, renames=None):
        self.systems = []       # (guid, name, version, [item])
        self.items = {}         # id -> guid
        self.groups = []        # (guid, name, description)
        self.definitions = []   # dict
        self.by_name = {}       # (group, name) -> definition
        self.elements = []      # dict with values {(group, name): value}
        self.renames = renames or {}

    def name(self, group, prop):
        """The (group, property) under which the 2025.1 name (group, prop) stands in this model."""
        new_group = self.renames.get((group, None), group)
        return new_group, self.renames.get((group, prop), prop)

    def read_configuration(self, path):
        root = ET.parse(path).getroot()
        for system in root.findall("classificationSystem"):
            name = system.get("name")
            self.systems.append((guid("system/" + name), name, system.get("version", ""),
                                 [self.read_item(item) for item in system.findall("item")]))
        for group in root.findall("propertyGroup"):
            self.add_group(group.get("name"), group.get("description", ""))
            for prop in group.findall("property"):
                self.add_definition(group.get("name"), prop.get("name"), prop.get("type"),
                                    prop.get("measure", "Default"), prop.get("default"),
                                    prop.get("description", ""),
                                    [applies.get("item") for applies in prop.findall("appliesTo")])

    def read_item(self, item):
        item_id = item.get("id")
        self.items[item_id] = guid("item/" + item_id)
        return (self.items[item_id], item_id, item.get("name", item_id),
                [self.read_item(child) for child in item.findall("item")])

    def add_group(self, name, description):
        self.groups.append((guid("group/" + name), name, description))

    def add_definition(self, group, name, value_type, measure, default, description, items):
        group_guid = next(g for g, n, _ in self.groups if n == group)
        definition = {
            "guid": guid("definition/%s/%s" % (group, name)), "group": group_guid, "name": name,
            "description": description, "type": value_type, "measure": measure,
            "default": default_text(value_type, default), "expressions": [], "flag": 0,
            "items": [self.items[i] for i in items],
        }
        self.definitions.append(definition)
        self.by_name[(group, name)] = definition

    def set_expressions(self, group, name, expressions, flag=1):
        group, name = self.name(group, name)
        self.by_name[(group, name)]["expressions"] = expressions
        self.by_name[(group, name)]["flag"] = flag

    def add_element(self, name, ifc_type, item, values):
        self.elements.append({"guid": guid("element/" + name), "name": name, "type": ifc_type,
                              "item": self.items[item],
                              "values": {self.name(*key): value for key, value in values.items()}})

    def element(self, name):
        return next(e for e in self.elements if e["name"] == name)

    def write(self):
        lines = ['<?xml version="1.0" encoding="utf-8"?>', tag(0, "project", [("format", "1"), ("guidSerial", "0")], False)]
        for system_guid, name, version, items in self.systems:
            lines.append(tag(1, "classificationSystem", [("guid", system_guid), ("name", name), ("version", version)],
                             not items))
            for item in items:
                self.write_item(lines, item, 2)
            if items:
                lines.append("  </classificationSystem>")
        for group_guid, name, description in self.groups:
            lines.append(tag(1, "propertyGroup", [("guid", group_guid), ("kind", "2"), ("name", name),
                                                  ("description", description)]))
        for d in self.definitions:
            children = d["expressions"] or d["items"]
            lines.append(tag(1, "propertyDefinition", [
                ("guid", d["guid"]), ("group", d["group"]), ("kind", "2"), ("name", d["name"]),
                ("description", d["description"]), ("collection", "0"), ("type", d["type"]),
                ("measure", d["measure"]), ("default", d["default"]), ("expressionFlag", str(d["flag"]))],
                not children))
            for expression in d["expressions"]:
                lines.append(tag(2, "expression", [("text", expression)]))
            for item in d["items"]:
                lines.append(tag(2, "appliesTo", [("item", item)]))
            if children:
                lines.append("  </propertyDefinition>")
        for e in self.elements:
            attributes = [("guid", e["guid"]), ("name", e["name"]), ("type", e["type"]), ("classification", e["item"])]
            values = sorted(((self.by_name[key], value) for key, value in e["values"].items()
                             if value is not None), key=lambda pair: pair[0]["guid"])
            lines.append(tag(1, "element", attributes, not values))
            for definition, value in values:
                lines.append(tag(2, "value", [("definition", definition["guid"]), ("type", definition["type"]),
                                              ("value", value_text(definition["type"], value))]))
            if values:
                lines.append("  </element>")
        lines.append("</project>")
        return "\n".join(lines) + "\n"

    def write_item(self, lines, item, depth):
        item_guid, item_id, name, children = item
        lines.append(tag(depth, "item", [("guid", item_guid), ("id", item_id), ("name", name)], not children))
        for child in children:
            self.write_item(lines, child, depth + 1)
        if children:
            lines.append("  " * depth + "</item>")


def build(edition="2025"):
    model = Model(RENAMED_IN_2026 if edition != "2025" else None)
    model.read_configuration(EDITIONS[edition][0])
    # The office's own checking group: not part of any configuration, never touched by the import.
    model.add_group("Clinic_QA", "Design checks of the project team")
    model.add_definition("Clinic_QA", "CheckedBy", "String", "Default", None, "", ["IfcWall", "IfcDoor"])
    model.add_definition("Clinic_QA", "Checked", "Boolean", "Default", None, "", ["IfcWall", "IfcDoor"])

    model.set_expressions("SGPset_Wall", "Thickness", ["{Wall.Thickness}"])
    model.set_expressions("SGPset_Door", "ClearWidth", ["{Door.Width} - 0.05"])
    model.set_expressions("SGPset_Space", "Area", ["{Zone.NetArea}"])
    model.set_expressions("SGPset_Space", "OccupantLoad", ["ROUNDDOWN ( {Property:SGPset_Space/Area} / 4 )"])
    model.set_expressions("SGPset_Column", "Width", ["{Column.Width}"])
    # Written down but switched off: not saved by the add-on, not re-applied.
    model.set_expressions("SGPset_Window", "OpeningArea", ["{Window.Width} * {Window.Height}"], flag=0)

    spaces = {
        1: [("Reception & Waiting", "Health care", 64.5, 30), ("Consultation 1", "Health care", 14.4, 3),
            ("Consultation 2", "Health care", 14.4, 3), ("Pharmacy", "Shop", 22.75, 4)],
        2: [("Treatment Room", "Health care", 28.8, 6), ("Dental Suite", "Health care", 32.4, 6),
            ("Staff Office", "Office", 18.25, 4), ("Accessible Toilet", "Toilet", 4.8, None)],
        3: [("Health Screening", "Health care", 40.5, 12), ("Seminar Room", "Assembly", 52.0, 35),
            ("Store", "Storage", 9.6, 1), ("Plant Room", "Plant", 12.0, None)],
    }

    for storey in (1, 2, 3):
        level = "L%d" % storey
        for n in range(1, 5):
            name = "W-%s-%02d" % (level, n)
            model.add_element(name, "IfcWall", "IfcWall", {
                ("SGPset_Wall", "Thickness"): 0.3 if storey == 1 else 0.25,
                ("SGPset_Wall", "FireResistancePeriod"): 120 if storey == 1 else 60,
                ("SGPset_Wall", "IsExternal"): True,
                ("SGPset_Wall", "ConstructionMaterial"): "Reinforced concrete",
                ("Pset_WallCommon", "Reference"): "EW-%d" % (300 if storey == 1 else 250),
                ("Pset_WallCommon", "LoadBearing"): True,
                ("Clinic_QA", "CheckedBy"): "T. Lim" if n <= 2 else None,
                ("Clinic_QA", "Checked"): True if n <= 2 else None,
            })
        for n in (5, 6):
            name = "W-%s-%02d" % (level, n)
            # Partitions: IsExternal stays at its default, and so does the fire period of one.
            model.add_element(name, "IfcWall", "IfcWall.PARTITIONING", {
                ("SGPset_Wall", "Thickness"): 0.1,
                ("SGPset_Wall", "FireResistancePeriod"): 60 if n == 5 else None,
                ("SGPset_Wall", "ConstructionMaterial"): "Lightweight concrete panel",
                ("Pset_WallCommon", "Reference"): "IW-100",
                ("Pset_WallCommon", "AcousticRating"): "Rw 45",
            })
        model.add_element("S-%s-FLOOR" % level, "IfcSlab", "IfcSlab.FLOOR", {
            ("SGPset_Slab", "Thickness"): 0.2 if storey > 1 else 0.25,
            ("SGPset_Slab", "FireResistancePeriod"): 120,
            ("SGPset_Slab", "IsWaterproofed"): True if storey == 1 else None,
            ("SGPset_Slab", "FinishMaterial"): "Homogeneous tiles" if storey < 3 else "Vinyl sheet",
        })
        for grid in ("A1", "A2", "B1", "B2"):
            model.add_element("C-%s-%s" % (level, grid), "IfcColumn", "IfcColumn", {
                ("SGPset_Column", "Width"): 0.5 if storey == 1 else 0.4,
                ("SGPset_Column", "Depth"): 0.5 if storey == 1 else 0.4,
                ("SGPset_Column", "ConcreteGrade"): "C40/50" if storey == 1 else "C32/40",
                ("SGPset_Column", "FireResistancePeriod"): 120 if storey == 1 else None,
            })
        for n in range(1, 5):
            main = storey == 1 and n == 1
            stair = n == 4
            model.add_element("D-%s-%02d" % (level, n), "IfcDoor", "IfcDoor", {
                ("SGPset_Door", "ClearWidth"): 1.8 if main else (1.0 if stair else 0.85),
                ("SGPset_Door", "ClearHeight"): 2.4 if main else None,
                ("SGPset_Door", "FireResistancePeriod"): 60 if stair else None,
                ("SGPset_Door", "BarrierFreeAccess"): True if not stair else False,
                ("SGPset_Door", "OperationType"): "Double sliding" if main else None,
                ("Pset_DoorCommon", "Reference"): "D%d" % (1 if main else (3 if stair else 2)),
                ("Pset_DoorCommon", "FireExit"): True if stair or main else None,
                ("Clinic_QA", "Checked"): False if stair else None,
            })
        for n in range(1, 4):
            fixed = n == 3
            model.add_element("WN-%s-%02d" % (level, n), "IfcWindow", "IfcWindow", {
                ("SGPset_Window", "SillHeight"): 1.1 if storey == 1 else None,
                ("SGPset_Window", "OpeningArea"): 0.0 if fixed else 1.44,
                ("SGPset_Window", "IsOperable"): False if fixed else None,
                ("SGPset_Window", "GlazingType"): "Low-E double glazing",
            })
        for n, (space, occupancy, area, load) in enumerate(spaces[storey], start=1):
            model.add_element("SP-%s-%02d" % (level, n), "IfcSpace", "IfcSpace", {
                ("SGPset_Space", "SpaceName"): space,
                ("SGPset_Space", "OccupancyType"): occupancy,
                ("SGPset_Space", "Area"): area,
                ("SGPset_Space", "OccupantLoad"): load,
                ("SGPset_Space", "IsAccessible"): True if storey < 3 or n == 1 else None,
                ("Pset_SpaceCommon", "Reference"): "%s-%02d" % (level, n),
            })
    model.add_element("S-RF-ROOF", "IfcSlab", "IfcSlab.ROOF", {
        ("SGPset_Slab", "Thickness"): 0.25,
        ("SGPset_Slab", "FireResistancePeriod"): 60,
        ("SGPset_Slab", "IsWaterproofed"): True,
        ("SGPset_Slab", "FinishMaterial"): "PU membrane & screed",
    })
    return model


def add_values_of_2027(model):
    """Values for what 2026.1 and 2027.1 added, on the clinic's elements, and its railings."""
    model.set_expressions("SGPset_Railing", "Height", ["{Railing.Height}"])
    for storey in (1, 2, 3):
        level = "L%d" % storey
        for n in range(1, 7):
            values = model.element("W-%s-%02d" % (level, n))["values"]
            external = n <= 4
            values[("SGPset_Wall", "IsLoadBearing")] = external
            if external:
                values[("SGPset_Wall", "FaçadeCladding")] = "Granite panels" if storey == 1 else "Aluminium composite panels"
        slab = model.element("S-%s-FLOOR" % level)["values"]
        if storey > 1:
            slab[("SGPset_Slab", "ThermalTransmittance")] = 1.9
        for grid in ("A1", "A2", "B1", "B2"):
            column = model.element("C-%s-%s" % (level, grid))["values"]
            column[("SGPset_StructuralColumn", "ConcreteCover")] = 0.04 if storey == 1 else 0.03
        for n in range(1, 5):
            door = model.element("D-%s-%02d" % (level, n))["values"]
            door[("SGPset_Door", "SelfClosing")] = n == 4
            if n in (2, 3):
                door[("SGPset_Door", "HasVisionPanel")] = True
        transmittance = {1: ["0.62", "0.62", "60%"], 2: ["0.45", "0.45", "0.45"], 3: ["0.62", "0.62", None]}[storey]
        for n in range(1, 4):
            window = model.element("WN-%s-%02d" % (level, n))["values"]
            window[("SGPset_Window", "ThermalTransmittance")] = 2.8
            window[("SGPset_Window", "VisibleTransmittance")] = transmittance[n - 1]
            window[("SGPset_Window", "FaçadeOrientation")] = ["North", "East", "South"][n - 1]
            if n < 3 and storey < 3:
                window[("SGPset_WindowShading", "ShadingType")] = "Horizontal fin"
                window[("SGPset_WindowShading", "ShadingDepth")] = 0.9 if storey == 1 else 0.6
        for n in range(1, 5):
            model.element("SP-%s-%02d" % (level, n))["values"][("SGPset_Space", "CeilingHeight")] = 3.2 if storey == 1 else 2.8
    model.element("S-RF-ROOF")["values"][("SGPset_Slab", "ThermalTransmittance")] = 0.45
    for name, height, infill in (("R-L2-STAIR", 1.0, "Tempered glass"), ("R-L3-STAIR", 1.0, "Tempered glass"),
                                 ("R-RF-PARAPET", 1.2, "Steel balusters")):
        model.add_element(name, "IfcRailing", "IfcRailing", {
            ("SGPset_Railing", "Height"): height,
            ("SGPset_Railing", "InfillMaterial"): infill,
            ("SGPset_Railing", "MaxOpeningWidth"): 0.1,
        })


def main():
    arguments = sys.argv[1:]
    edition = "2025"
    if arguments[:1] == ["--edition"]:
        if len(arguments) < 2 or arguments[1] not in EDITIONS:
            sys.exit("--edition takes one of " + ", ".join(EDITIONS))
        edition = arguments[1]
        arguments = arguments[2:]
    output = Path(arguments[0]) if arguments else EDITIONS[edition][1]
    model = build(edition)
    if edition == "2027":
        add_values_of_2027(model)
    output.write_bytes(model.write().encode("utf-8"))


if __name__ == "__main__":
    main()
