#!/usr/bin/python3
"""Checks that a repaired store holds every message libpff reads from the original.

usage: libpff_compare.py ORIGINAL REPAIRED
       libpff_compare.py --dump STORE
       libpff_compare.py --anywhere ORIGINAL REPAIRED... [--first NID,...]

Both stores are read by libpff: python3-pypff for folders, subjects, bodies and
attachments, pffexport for recipients and embedded messages (which pypff does not
expose). A message of the original is matched by a message of the repair with the same
folder path, subject, plain and HTML bodies, attachment count and bytes (an embedded
message by its exported text), and recipients (names and addresses).

Paths are taken relative to each store's IPM subtree (its name is the source's in the
repair), and a folder that hung directly below the original's root may sit below the
repair's IPM subtree, where a repair puts such folders. When the repair has the 32-bit
layout and the original does not, the original's text is compared as the 8-bit code page
can hold it (KRV_CODEPAGE, Windows-1252 by default): characters it lacks become '?'.

The repair may hold more than the original (messages whose contents-table rows were lost,
lost-and-found folders); it may not hold less.

Prints one JSON object. Exit status: 0 every message matched; 1 some did not; 2 libpff
cannot read the original (nothing to compare); 3 libpff cannot read the repair.

With --dump, prints what libpff reads from one store (every folder path, and every
message with its class, subject, plain body, attachment names and recipients) for tests
to assert on; exit status 2 when libpff cannot read it.

With --anywhere, the repair of a damaged copy is judged, where folders are lost and
messages land in lost-and-found folders: each message of the original (by its NID) is
looked for in any folder of the repaired files (every part of a split repair), one
repaired message standing for one original at most. "content" means the same subject
and plain and HTML bodies; "full" means that and the same attachments, embedded
messages and recipients as well. Prints one JSON object with a row per original
message; exit status as for a plain comparison, 0 whatever matched.
"""
import hashlib
import json
import os
import re
import subprocess
import sys
import tempfile

import pypff

try:
    import olefile
except ImportError:  # compound files are then compared byte for byte
    olefile = None

IPM = "<IPM subtree>"
PR_IPM_SUBTREE_ENTRYID = 0x35E0
OFFLINE_IPM_SUBTREE_NID = 0x2142
PR_ATTACH_METHOD = 0x3705
ATTACH_EMBEDDED_MSG = 5


def code_page_name():
    value = os.environ.get("KRV_CODEPAGE", "1252").strip().lower()
    value = value.replace("windows-", "").replace("cp", "")
    return "cp" + (value if value.isdigit() else "1252")


def lossy(text, code_page):
    """Text as the 8-bit code page keeps it."""
    return text.encode(code_page, "replace").decode(code_page)


def text_of(value):
    if value is None:
        return ""
    if isinstance(value, bytes):
        return value.decode("utf-8", "replace")
    return value


def html_text(data):
    """An HTML body as text, whether stored as 8-bit, UTF-8 or UTF-16 bytes."""
    if not data:
        return ""
    if len(data) >= 4 and data[1] == 0 and data[3] == 0:
        return data.decode("utf-16-le", "replace")
    return data.decode("utf-8", "replace")


def digest(text):
    return hashlib.sha256(text.encode("utf-8", "surrogatepass")).hexdigest()


def is_unicode_store(path):
    with open(path, "rb") as handle:
        header = handle.read(12)
    return len(header) >= 12 and int.from_bytes(header[10:12], "little") >= 23


def entry_value(item, entry_type):
    try:
        record_set = item.get_record_set(0)
        for i in range(record_set.number_of_entries):
            entry = record_set.get_entry(i)
            if entry.entry_type == entry_type:
                return entry
    except (IOError, OSError, ValueError, IndexError):
        pass
    return None


def ipm_subtree_nid(store):
    try:
        entry = entry_value(store.get_message_store(), PR_IPM_SUBTREE_ENTRYID)
        data = entry.get_data() if entry is not None else None
    except (IOError, OSError, ValueError):
        data = None
    if not data or len(data) < 24:
        # An offline folder file names no special folders: its IPM subtree is the folder
        # with NID 0x2142.
        return OFFLINE_IPM_SUBTREE_NID
    return int.from_bytes(data[20:24], "little")


def read_export(store, directory):
    """pffexport's view of every message, by its export directory: recipients, and the text
    of each embedded message."""
    target = os.path.join(directory, "export")
    subprocess.run(["pffexport", "-q", "-m", "all", "-f", "text", "-t", target, store],
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=False)
    root = target + ".export"
    found = {}
    for current, dirs, files in os.walk(root):
        if not os.path.basename(current).startswith("Message"):
            continue
        entry = {"recipients": read_recipients(os.path.join(current, "Recipients.txt")), "embedded": []}
        attachments = os.path.join(current, "Attachments")
        if os.path.isdir(attachments):
            for name in sorted(os.listdir(attachments)):
                inner = os.path.join(attachments, name, "Message00001")
                if os.path.isdir(inner):
                    entry["embedded"].append(embedded_text(inner))
        found[os.path.relpath(current, root)] = entry
    return root, found


def read_recipients(path):
    if not os.path.exists(path):
        return []
    recipients = []
    name = address = None
    with open(path, encoding="utf-8", errors="replace") as handle:
        for line in list(handle) + [""]:
            line = line.rstrip("\n")
            if line.startswith("Display name:"):
                name = line.split(":", 1)[1].strip()
            elif line.startswith("Email address:"):
                address = line.split(":", 1)[1].strip()
            elif not line.strip() and (name is not None or address is not None):
                recipients.append((name or "", address or ""))
                name = address = None
    return sorted(recipients)


def embedded_text(directory):
    """What a reader sees of an embedded message: subject, body, recipients."""
    parts = []
    headers = os.path.join(directory, "OutlookHeaders.txt")
    if os.path.exists(headers):
        with open(headers, encoding="utf-8", errors="replace") as handle:
            parts += [line.strip() for line in handle if line.startswith("Subject:")]
    body = os.path.join(directory, "Message.txt")
    if os.path.exists(body):
        with open(body, encoding="utf-8", errors="replace") as handle:
            parts.append(handle.read())
    parts.append(repr(read_recipients(os.path.join(directory, "Recipients.txt"))))
    return "\n".join(parts)


def normalized_name(name):
    return re.sub(r"[^0-9A-Za-z]", "_", name)


def matching_directory(name, available):
    if name in available:
        return name
    wanted = normalized_name(name)
    return next((c for c in available if normalized_name(c) == wanted), None)


COMPOUND_FILE_SIGNATURE = bytes.fromhex("d0cf11e0a1b11ae1")


def attachment_data_digest(data):
    """An OLE object (a compound file) by what it holds: the same streams with the same
    bytes and the same class IDs, however a writer laid out its sectors and directory."""
    if olefile is not None and data.startswith(COMPOUND_FILE_SIGNATURE):
        import io
        try:
            compound = olefile.OleFileIO(io.BytesIO(data))
            parts = []
            for entry in sorted(compound.listdir(streams=True, storages=True)):
                name = "/".join(entry)
                if compound.get_type(entry) == olefile.STGTY_STREAM:
                    parts.append(name + "=" + hashlib.sha256(compound.openstream(entry).read()).hexdigest())
                else:
                    parts.append(name + "/" + str(compound.getclsid(entry)))
            parts.append("root/" + str(compound.root.clsid))
            compound.close()
            return "compound:" + hashlib.sha256("\n".join(parts).encode()).hexdigest()
        except Exception:  # not a well-formed compound file: compare the bytes
            pass
    return hashlib.sha256(data).hexdigest()


def string_entry(item, entry_type):
    entry = entry_value(item, entry_type)
    if entry is None:
        return None
    try:
        return text_of(entry.get_data_as_string())
    except (IOError, OSError, ValueError):
        return None


def boolean_entry(item, entry_type):
    entry = entry_value(item, entry_type)
    if entry is None:
        return None
    try:
        return bool(entry.get_data_as_boolean())
    except (IOError, OSError, ValueError):
        return None


def read_message(message):
    try:
        nid = message.identifier
    except (IOError, OSError, ValueError):
        nid = None
    record = {"nid": nid, "subject": text_of(message.subject), "plain": "", "html": "", "attachments": [], "embedded_count": 0,
              "class": string_entry(message, 0x001A), "attachment_names": [], "rtf_in_sync": boolean_entry(message, 0x0E1F)}
    try:
        record["plain"] = text_of(message.plain_text_body)
    except (IOError, OSError, ValueError):
        record["plain"] = "<unreadable>"
    try:
        record["html"] = html_text(message.html_body)
    except (IOError, OSError, ValueError):
        record["html"] = "<unreadable>"
    try:
        count = message.number_of_attachments
    except (IOError, OSError, ValueError):
        # libpff cannot read this message's attachments: nothing to hold a repair to.
        record["attachments"] = None
        record["embedded_count"] = None
        return record
    for i in range(count):
        try:
            attachment = message.get_attachment(i)
        except (IOError, OSError, ValueError):
            record["attachments"].append("<unreadable>")
            continue
        record["attachment_names"].append(string_entry(attachment, 0x3707) or string_entry(attachment, 0x3704) or "")
        method = entry_value(attachment, PR_ATTACH_METHOD)
        try:
            embedded = method is not None and method.get_data_as_integer() == ATTACH_EMBEDDED_MSG
        except (IOError, OSError, ValueError):
            embedded = False
        if embedded:
            # Compared by what it says (below), not by its bytes, which are the layout of
            # the store that wrote it.
            record["embedded_count"] += 1
            continue
        try:
            size = attachment.get_size()
            data = attachment.read_buffer(size) if size else b""
            record["attachments"].append(attachment_data_digest(data))
        except (IOError, OSError, ValueError, OverflowError, MemoryError):
            record["attachments"].append("<unreadable>")
    record["attachments"].sort()
    return record


def read_store(path, directory, folders=None):
    store = pypff.file()
    store.open(path)
    export_root, exported = read_export(path, directory)
    subtree = ipm_subtree_nid(store)
    messages = []
    if folders is None:
        folders = []
    folders_named = {}

    def walk(folder, names, export_dir, in_subtree):
        try:
            message_count = folder.number_of_sub_messages
        except (IOError, OSError, ValueError):
            message_count = 0
        for i in range(message_count):
            try:
                record = read_message(folder.get_sub_message(i))
            except (IOError, OSError, ValueError):
                continue
            record["folder"] = "/".join(names)
            record["in_subtree"] = in_subtree
            seen = exported.get(os.path.join(export_dir, "Message%05d" % (i + 1))) if export_dir else None
            record["recipients"] = seen["recipients"] if seen else None
            record["embedded"] = seen["embedded"] if seen else None
            messages.append(record)
        try:
            folder_count = folder.number_of_sub_folders
        except (IOError, OSError, ValueError):
            folder_count = 0
        available = []
        if export_dir is not None and os.path.isdir(os.path.join(export_root, export_dir)):
            here = os.path.join(export_root, export_dir)
            available = [d for d in os.listdir(here) if os.path.isdir(os.path.join(here, d))]
        for i in range(folder_count):
            try:
                sub = folder.get_sub_folder(i)
                name = text_of(sub.name)
                nid = sub.identifier
            except (IOError, OSError, ValueError):
                continue
            sub_dir = matching_directory(name, available) if export_dir is not None else None
            sub_export = os.path.normpath(os.path.join(export_dir, sub_dir)) if sub_dir else None
            if nid == subtree:
                folders_named[IPM] = name
            sub_names = [IPM] if nid == subtree else names + [name]
            folders.append("/".join(sub_names))
            walk(sub, sub_names, sub_export, in_subtree or nid == subtree)

    walk(store.get_root_folder(), [], ".", False)
    store.close()
    read_store.ipm_subtree_name = folders_named.get(IPM)
    return messages


def comparable(record, code_page):
    """The record's fields as the repair can give them back."""
    shape = (lambda text: lossy(text, code_page)) if code_page else (lambda text: text)
    folder = "/".join(shape(part) if part != IPM else part for part in record["folder"].split("/"))
    return {
        "folder": folder,
        "subject": shape(record["subject"]),
        "plain": digest(shape(record["plain"])),
        # HTML is kept as bytes in the charset the document names: never narrowed.
        "html": digest(record["html"]),
        "attachments": record["attachments"],
        "embedded_count": record["embedded_count"],
        "embedded": None if record["embedded"] is None else sorted(digest(shape(t)) for t in record["embedded"]),
        "recipients": None if record["recipients"] is None else
        sorted((shape(n), shape(a)) for n, a in record["recipients"]),
    }


def differences(original, candidate):
    found = [f for f in ("plain", "html") if original[f] != candidate[f]]
    for field in ("attachments", "embedded_count", "embedded", "recipients"):
        if original[field] is not None and candidate[field] is not None and original[field] != candidate[field]:
            found.append(field)
    return found


def dump(path):
    folders = []
    with tempfile.TemporaryDirectory() as work:
        try:
            messages = read_store(path, work, folders)
        except (IOError, OSError) as error:
            print(json.dumps({"readable": False, "error": str(error)}))
            return 2
    for record in messages:
        record["recipients"] = [list(r) for r in record["recipients"]] if record["recipients"] is not None else None
    print(json.dumps({"readable": True, "ipm_subtree_name": read_store.ipm_subtree_name, "folders": folders,
                      "messages": messages}, ensure_ascii=False))
    return 0


def content_differences(original, candidate):
    return [f for f in ("subject", "plain", "html") if original[f] != candidate[f]]


def anywhere(original_path, repaired_paths, first=()):
    with tempfile.TemporaryDirectory() as work:
        try:
            original = read_store(original_path, os.path.join(work, "original"))
        except (IOError, OSError) as error:
            print(json.dumps({"original_readable": False, "error": str(error)}))
            return 2
        repaired = []
        for index, path in enumerate(repaired_paths):
            try:
                repaired += read_store(path, os.path.join(work, "repaired%d" % index))
            except (IOError, OSError) as error:
                print(json.dumps({"original_readable": True, "repaired_readable": False, "file": path,
                                  "error": str(error)}))
                return 3
    narrowed = code_page_name() if is_unicode_store(original_path) and not is_unicode_store(repaired_paths[0]) else None
    pool = {}
    for record in repaired:
        shaped = comparable(record, None)
        pool.setdefault(shaped["subject"], []).append(shaped)
    wanted = [(record, comparable(record, narrowed)) for record in original]
    rows = {id(record): {"nid": record["nid"], "subject": record["subject"], "content": False, "full": False}
            for record, _ in wanted}
    # Whole matches first, so that a copy missing its attachments cannot take the place of
    # the one that has them; then the rest by content alone. Within each, the originals
    # that libpff read completely go first: one whose recipients or attachments could not
    # be read matches any copy, and must not take the one another needs.
    # The messages named by --first go before all others: copies of one message are
    # indistinguishable, and a message that can come back should not lose its copy to one
    # that cannot.
    wanted.sort(key=lambda pair: (pair[0]["nid"] not in first,
                                  sum(pair[1][f] is None for f in ("attachments", "embedded_count", "embedded",
                                                                   "recipients"))))
    for whole in (True, False):
        for record, shaped in wanted:
            row = rows[id(record)]
            if row["content"]:
                continue
            candidates = pool.get(shaped["subject"], [])
            test = differences if whole else content_differences
            match = next((c for c in candidates if not content_differences(shaped, c) and not test(shaped, c)), None)
            if match is None:
                continue
            candidates.remove(match)
            row["content"] = True
            row["full"] = whole
    print(json.dumps({"original_messages": len(original), "repaired_messages": len(repaired),
                      "messages": list(rows.values())}, ensure_ascii=False))
    return 0


def main():
    if len(sys.argv) == 3 and sys.argv[1] == "--dump":
        return dump(sys.argv[2])
    if len(sys.argv) >= 4 and sys.argv[1] == "--anywhere":
        args = sys.argv[2:]
        first = set()
        if "--first" in args:
            at = args.index("--first")
            first = {int(n) for n in args[at + 1].split(",") if n} if at + 1 < len(args) else set()
            del args[at:at + 2]
        return anywhere(args[0], args[1:], first)
    if len(sys.argv) != 3:
        print("usage: libpff_compare.py ORIGINAL REPAIRED", file=sys.stderr)
        return 64
    original_path, repaired_path = sys.argv[1], sys.argv[2]
    with tempfile.TemporaryDirectory() as work:
        try:
            original = read_store(original_path, os.path.join(work, "original"))
        except (IOError, OSError) as error:
            print(json.dumps({"original_readable": False, "error": str(error)}))
            return 2
        try:
            repaired = read_store(repaired_path, os.path.join(work, "repaired"))
        except (IOError, OSError) as error:
            print(json.dumps({"original_readable": True, "repaired_readable": False, "error": str(error)}))
            return 3

    narrowed = code_page_name() if is_unicode_store(original_path) and not is_unicode_store(repaired_path) else None
    pool = {}
    for record in repaired:
        shaped = comparable(record, None)
        pool.setdefault((shaped["folder"], shaped["subject"]), []).append(shaped)
    missing = []
    for record in original:
        wanted = comparable(record, narrowed)
        keys = [(wanted["folder"], wanted["subject"])]
        if not record["in_subtree"]:
            keys.append(("/".join([IPM, wanted["folder"]]).rstrip("/"), wanted["subject"]))
        match = None
        for key in keys:
            candidates = pool.get(key, [])
            match = next((c for c in candidates if not differences(wanted, c)), None)
            if match is not None:
                candidates.remove(match)
                break
        if match is None:
            near = next((c for key in keys for c in pool.get(key, [])), None)
            missing.append({"folder": record["folder"], "subject": record["subject"],
                            "differs": differences(wanted, near) if near else ["absent"]})
    print(json.dumps({"original_messages": len(original), "repaired_messages": len(repaired),
                      "matched": len(original) - len(missing), "missing": missing}, ensure_ascii=False))
    return 0 if not missing else 1


if __name__ == "__main__":
    sys.exit(main())
