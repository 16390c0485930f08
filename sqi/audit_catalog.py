#!/usr/bin/python3
"""Checks every catalogue column against PayPal's published OpenAPI descriptions.

  audit_catalog.py OPENAPI_DIR [--all] [--data catalog_data.txt]

For each table it finds the GET the table sends (the endpoint, with the key
segment when the table sends a key) in the OpenAPI files of OPENAPI_DIR, takes
its 200 reply schema and walks to the row element the way the provider does
(list key, single object, sub key for child rows, the reply root for root
columns), then follows each column's JSON path through $ref, allOf, oneOf and
anyOf. It prints, per column, the published type and format of the member and
whether the column's type reads it:

  ok      the column type reads the published form as it is
  conv    the column reads it through a conversion (a number in a string, a
          date-only text into TIMESTAMP, an object as JSON text, ...)
  desc    a plain string whose published description (shown) says it is a
          number: read as a number in a string
  CHECK   the published form does not fit the column's type
  unsent  a published member that its parent's description says PayPal does
          not send ("supports only the `a` and `b` properties")
  echo    a filter column whose member is not in the reply (it echoes the
          value sent)
  absent  the path names no published member
  none    the table's endpoint has no published description

Without --all only the columns that are not "ok" are printed. A developer's
tool: the OpenAPI files are not part of the build, so no test runs it.
"""
import glob
import json
import os
import re
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import gen_catalog  # noqa: E402  (the data file's parser)

FILTER_BITS = 0x4 | 0x8 | 0x200000 | 0x200 | 0x400 | 0x800
DATE_FORMATS = {'date', 'ppaas_date_notime_v2'}
DATETIME_FORMATS = {'date-time', 'ppaas_date_time_v3'}
DECIMAL_PATTERN = re.compile(r'\[0-9\].*\[\.\]|\\d.*\\\.')


class Spec:
    """One OpenAPI file: its document and $ref resolution."""

    def __init__(self, path):
        self.name = os.path.basename(path)
        self.doc = json.load(open(path, encoding='utf-8'))

    def ref(self, ref):
        node = self.doc
        for part in ref.lstrip('#/').split('/'):
            node = node[part]
        return node


def flatten(spec, schema, refs=(), depth=0):
    """The alternatives a schema stands for, each a dict of the merged
    properties, type, format, pattern, items and the $ref names passed."""
    if depth > 40 or not isinstance(schema, dict):
        return [{'refs': refs}]
    if '$ref' in schema:
        name = schema['$ref'].rsplit('/', 1)[-1]
        target = dict(spec.ref(schema['$ref']))
        # Siblings of a $ref (a description, a format) stay with it.
        for k, v in schema.items():
            if k != '$ref':
                target.setdefault(k, v)
        return flatten(spec, target, refs + (name,), depth + 1)
    shape = {'refs': refs, 'props': dict(schema.get('properties', {}))}
    for key in ('type', 'format', 'pattern', 'items', 'enum', 'maxLength', 'description'):
        if key in schema:
            shape[key] = schema[key]
    shapes = [shape]
    for part in schema.get('allOf', []):
        merged = []
        for s in shapes:
            for alt in flatten(spec, part, refs, depth + 1):
                m = dict(s)
                m['props'] = dict(s['props'])
                m['props'].update(alt.get('props', {}))
                for key in ('type', 'format', 'pattern', 'items', 'enum', 'maxLength', 'description'):
                    if key in alt and key not in m:
                        m[key] = alt[key]
                m['refs'] = m['refs'] + tuple(r for r in alt['refs'] if r not in m['refs'])
                merged.append(m)
        shapes = merged
    alternatives = schema.get('oneOf', []) + schema.get('anyOf', [])
    if alternatives:
        out = []
        for s in shapes:
            for part in alternatives:
                for alt in flatten(spec, part, refs, depth + 1):
                    m = dict(alt)
                    m['props'] = dict(s['props'])
                    m['props'].update(alt.get('props', {}))
                    out.append(m)
        shapes = out
    return shapes


ONLY = re.compile(r'[Ss]upports only the (.+?) propert')


def member(spec, shapes, name):
    """The shapes of member `name` in any of `shapes` (empty when none has
    it). A shape whose own description says it "supports only" some of its
    members carries them in 'only'; a member outside them is marked 'unsent'."""
    out = []
    for s in shapes:
        if name in s.get('props', {}):
            raw = s['props'][name]
            only = ONLY.search(raw.get('description', '') if isinstance(raw, dict) else '')
            for alt in flatten(spec, raw, (), 0):
                if only:
                    alt['only'] = set(re.findall(r'`(\w+)`', only.group(1)))
                if s.get('unsent') or ('only' in s and name not in s['only']):
                    alt['unsent'] = True
                out.append(alt)
    return out


def elements(spec, shapes):
    """The shapes of the elements of the arrays among `shapes`."""
    out = []
    for s in shapes:
        if s.get('type') == 'array' or 'items' in s:
            out += flatten(spec, s.get('items', {}))
    return out


def walk(spec, shapes, path):
    for name in path:
        shapes = member(spec, shapes, name)
        if not shapes:
            return []
    return shapes


def form_of(shape):
    """The published form of a value: date, datetime, decimal string,
    integer string, string, integer, number, boolean, object, array."""
    t = shape.get('type')
    fmt = shape.get('format', '')
    refs = shape.get('refs', ())
    pattern = shape.get('pattern', '')
    if t == 'array' or 'items' in shape:
        return 'array'
    if t == 'object' or (t is None and shape.get('props')):
        return 'object'
    if t in ('integer', 'number', 'boolean'):
        return t
    if t == 'string' or fmt or pattern:
        if fmt in DATE_FORMATS or any('date_no_time' in r for r in refs):
            return 'date string'
        if fmt in DATETIME_FORMATS or any(r.startswith('date_time') for r in refs):
            return 'datetime string'
        if fmt == 'ppaas_common_percentage_v2' or DECIMAL_PATTERN.search(pattern):
            return 'decimal string'
        if re.fullmatch(r'\^?(\[0-9\]|\\d)[+*](\$)?', pattern or '-') or re.fullmatch(r'\^?\[0-9\]\{\d+(,\d*)?\}\$?', pattern or '-'):
            return 'integer string'
        return 'string'
    return 'unknown'


def verdict(column, forms):
    """ok, conv or CHECK for a column whose member is published in `forms`."""
    sql = column['sql']
    forms = set(forms)
    if sql in (12, -1):
        json_type = column['json']
        if forms <= {'string'} or (sql == -1 and json_type in ('array', 'object') and forms <= {json_type}):
            return 'ok'
        if sql == -1 or forms <= {'string', 'date string', 'datetime string', 'decimal string', 'integer string',
                                  'integer', 'number', 'boolean', 'object', 'array'}:
            return 'conv'
        return 'CHECK'
    if sql == 11:
        if forms <= {'datetime string'}:
            return 'ok'
        return 'conv' if forms <= {'datetime string', 'date string'} else 'CHECK'
    if sql == 2:
        # Amounts are published as decimal strings: the column's usual form.
        if forms <= {'decimal string', 'number', 'integer'}:
            return 'ok'
        if forms <= {'decimal string', 'integer string', 'number', 'integer'}:
            return 'conv'
        return 'desc' if forms <= {'string', 'decimal string'} else 'CHECK'
    if sql == 4:
        if forms <= {'integer'}:
            return 'ok'
        return 'conv' if forms <= {'integer string', 'integer'} else 'CHECK'
    if sql == -6:
        return 'ok' if forms <= {'boolean'} else 'CHECK'
    return 'CHECK'


def find_get(specs, path):
    """The first published GET whose template matches `path` (segments with
    braces match any segment): (spec, reply schema) or (None, None)."""
    want = path.strip('/').split('/')
    for spec in specs:
        for template, ops in spec.doc.get('paths', {}).items():
            segs = template.strip('/').split('/')
            if len(segs) != len(want) or 'get' not in ops:
                continue
            if all(s == w or (s.startswith('{') and w == '{}') for s, w in zip(segs, want)):
                replies = ops['get'].get('responses', {})
                ok = replies.get('200') or replies.get('201') or {}
                schema = ok.get('content', {}).get('application/json', {}).get('schema')
                if schema:
                    return spec, schema
    return None, None


def row_sources(specs, table):
    """The forms of reply the table reads rows from: a list of
    (label, spec, root shapes, row shapes, child shapes)."""
    flags = table['flags']
    endpoint = table['endpoint']
    forms = []
    keyed_path = endpoint.replace('%s', '{}') if '%s' in endpoint else endpoint + '/{}'
    if flags & 0x10000:
        forms.append(('keyed', keyed_path, True))
    elif flags & 0x20000:
        forms += [('list', endpoint.replace('%s', '{}'), False), ('keyed', keyed_path, True)]
    else:
        forms.append(('list', endpoint, False))
    out = []
    for label, path, keyed in forms:
        spec, schema = find_get(specs, path)
        if not spec:
            continue
        root = flatten(spec, schema)
        listed = (not keyed and not flags & 0x8000) or flags & 0x1000
        rows = root
        if listed and table.get('list_key'):
            rows = elements(spec, walk(spec, root, table['list_key'].split(',')))
        children = []
        if flags & 0x100 and table.get('sub_key'):
            children = elements(spec, walk(spec, rows, table['sub_key'].split(',')))
        out.append((label, spec, root, rows, children))
    return out


def audit_column(sources, column):
    """(status, published text) for one column."""
    members = gen_catalog.path_members(column['path'])
    found = []
    where = []
    for label, spec, root, rows, children in sources:
        start = root if column['flags'] & 0x1000 else children if column['flags'] & 0x100 else rows
        shapes = walk(spec, start, members) if members else start
        if shapes:
            found += shapes
            where.append(label)
    if not found:
        if column['flags'] & FILTER_BITS:
            return 'echo', 'not in the reply'
        return 'absent', 'no published member'
    forms = sorted({form_of(s) for s in found})
    refs = sorted({r for s in found for r in s.get('refs', ())})
    text = ' | '.join(forms) + (f' ({", ".join(refs)})' if refs else '')
    if len(where) == 1 and len(sources) > 1:
        text += f' [{where[0]} reply only]'
    status = verdict(column, forms)
    if all(s.get('unsent') for s in found):
        status = 'unsent'
        text += ' -- a member the published description says is not sent'
    if status in ('CHECK', 'desc'):
        # What the publisher says the member holds decides such a column.
        said = re.sub(r'<[^>]+>|\s+', ' ', next((s['description'] for s in found if s.get('description')), ''))
        text += f' -- "{said.strip()[:110]}"'
    return status, text


TYPE_TEXT = {12: 'NVARCHAR', 2: 'NUMERIC', 11: 'TIMESTAMP', 4: 'INTEGER', -6: 'TINYINT', -1: 'LONGNVARCHAR'}


def main():
    args = sys.argv[1:]
    show_all = '--all' in args
    data = os.path.join(os.path.dirname(os.path.abspath(__file__)), 'catalog_data.txt')
    if '--data' in args:
        data = args[args.index('--data') + 1]
    dirs = [a for a in args if not a.startswith('--') and a != data]
    if len(dirs) != 1 or not os.path.isdir(dirs[0]):
        sys.exit(__doc__)
    specs = [Spec(p) for p in sorted(glob.glob(os.path.join(dirs[0], '*.json')))]
    counts = {}
    for table in gen_catalog.parse(data):
        sources = row_sources(specs, table)
        lines = []
        for column in table['columns']:
            if not sources:
                status, text = 'none', 'no published GET'
            else:
                status, text = audit_column(sources, column)
            counts[status] = counts.get(status, 0) + 1
            if show_all or status != 'ok':
                kind = TYPE_TEXT.get(column['sql'], str(column['sql']))
                lines.append(f'  {status:6} {column["name"]} {kind}({column["size"]}) '
                             f'`{column["path"]}`: {text}')
        spec_names = ', '.join(sorted({s[1].name for s in sources})) or '-'
        print(f'{table["name"]} ({spec_names})')
        print('\n'.join(lines) if lines else '  every column ok')
    print('totals: ' + ', '.join(f'{k} {v}' for k, v in sorted(counts.items())))


if __name__ == '__main__':
    main()
