"""What the static checks share: the printed verdict of each check, the
failures so far, and the resources of a pefile image."""

failures = []


def check(condition, what):
    print(('ok    ' if condition else 'FAIL  ') + what)
    if not condition:
        failures.append(what)
    return condition


def resources(pe, type_id):
    """{(name id, language): bytes} of one resource type."""
    found = {}
    if not hasattr(pe, 'DIRECTORY_ENTRY_RESOURCE'):
        return found
    for kind in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        if kind.id != type_id:
            continue
        for name in kind.directory.entries:
            for lang in name.directory.entries:
                entry = lang.data.struct
                found[(name.id, lang.id)] = pe.get_data(entry.OffsetToData, entry.Size)
    return found
