#!/usr/bin/python3
"""Turns sqi/catalog_data.txt into the provider's constant catalogue.

  gen_catalog.py --cpp DATA OUT.cpp   writes the C++ table (run by CMake at build time)
  gen_catalog.py --docs DATA          prints docs/paypal_tables.md to stdout

The data file holds one block per table, in catalogue order:

  table <Name>
  endpoint <REST path below the base URL, may hold one %s>
  list_key <comma path or ->
  sub_key <comma path or ->
  flags <hex table flags>
  paging none|page_numbers|next_link|start_id
  page_size <n>          optional: rows per page for this table (else the connection's)
  window_days <n>        optional: the range of the lower and upper filters is read in
                         consecutive windows of at most n days
  history_years <n>      optional, with window_days: earlier ranges are refused
  note <text>            optional, repeatable: a sentence for the table's note in the docs
  columns <count>
    <json path> | <Column> | <type> | <hex flags> | <parameter or -> | <body path or ->

A parameter the API takes only a few values for is written name=V1,V2...: a
restriction must give one of them, and V1, the first, is sent when the query
gives none (the API's own default is not what a table of every row needs).

Types: S<n> NVARCHAR(n) "string", N<s> NUMERIC with s decimals "decimal",
T TIMESTAMP "datetime", B TINYINT "boolean", I INTEGER "integer",
L/LA/LO LONGNVARCHAR "string"/"array"/"object", or <sql>/<size>/<json type>.
A JSON path of "." reads the row element itself (arrays of bare values).
A sub key may be a comma path (cart_info,item_details).
A '#' starts a comment line. Any inconsistency stops the build.
"""
import re
import sys

TYPES = {'T': (11, 0, 'datetime'), 'B': (-6, 0, 'boolean'), 'I': (4, 0, 'integer'),
         'L': (-1, 0, 'string'), 'LA': (-1, 0, 'array'), 'LO': (-1, 0, 'object')}
JSON_TYPES = {'string', 'decimal', 'datetime', 'boolean', 'integer', 'array', 'object'}
PAGING = {'none': 'kNone', 'page_numbers': 'kPageNumbers', 'next_link': 'kNextLink', 'start_id': 'kStartId'}
TABLE_COUNT = 35
NUMBERS = ('page_size', 'window_days', 'history_years')


def fail(lineno, text):
    sys.exit(f'catalog_data.txt:{lineno}: {text}')


def parse_hex(text, lineno):
    if not re.fullmatch(r'0x[0-9a-fA-F]+|0', text):
        fail(lineno, f'flags must be hexadecimal, not {text!r}')
    return int(text, 16)


def parse_type(text, lineno):
    if text in TYPES:
        return TYPES[text]
    m = re.fullmatch(r'S(\d+)', text)
    if m:
        return (12, int(m.group(1)), 'string')
    m = re.fullmatch(r'N(\d+)', text)
    if m:
        return (2, int(m.group(1)), 'decimal')
    m = re.fullmatch(r'(-?\d+)/(\d+)/(\w+)', text)
    if m and m.group(3) in JSON_TYPES:
        return (int(m.group(1)), int(m.group(2)), m.group(3))
    fail(lineno, f'unknown type {text!r}')


def parse(path):
    tables = []
    table = None
    for lineno, raw in enumerate(open(path, encoding='utf-8'), 1):
        line = raw.rstrip('\n')
        if not line.strip() or line.lstrip().startswith('#'):
            continue
        if line.startswith('  '):
            if table is None:
                fail(lineno, 'column outside a table')
            cells = [c.strip() for c in line.split('|')]
            if len(cells) != 6:
                fail(lineno, 'a column needs six fields')
            jpath, name, typ, flags, param, body = cells
            sql, size, jtype = parse_type(typ, lineno)
            if not re.fullmatch(r'[A-Za-z][A-Za-z0-9_]*', name):
                fail(lineno, f'bad column name {name!r}')
            if any(c['name'].lower() == name.lower() for c in table['columns']):
                fail(lineno, f'column {name} twice in {table["name"]}')
            values = None
            if '=' in param:
                param, _, listed = param.partition('=')
                values = listed.split(',')
                if not all(re.fullmatch(r'[A-Za-z0-9_]+', v) for v in values) or len(set(values)) != len(values):
                    fail(lineno, f'parameter values {listed!r}')
            table['columns'].append({'path': jpath, 'name': name, 'sql': sql, 'size': size, 'json': jtype,
                                     'flags': parse_hex(flags, lineno), 'param': None if param == '-' else param,
                                     'body': None if body == '-' else body, 'values': values})
            continue
        word, _, rest = line.partition(' ')
        if word == 'table':
            table = {'name': rest, 'columns': [], 'line': lineno, 'flags_line': lineno, 'notes': []}
            tables.append(table)
        elif word == 'note' and table is not None:
            table['notes'].append(rest)
        elif table is None or word not in ('endpoint', 'list_key', 'sub_key', 'flags', 'paging', 'columns') + NUMBERS:
            fail(lineno, f'unexpected line {line!r}')
        elif word in NUMBERS:
            if not rest.isdigit() or int(rest) <= 0:
                fail(lineno, f'{word} {rest!r}')
            table[word] = int(rest)
        else:
            table['count' if word == 'columns' else word] = None if rest == '-' else rest
            if word == 'flags':
                table['flags_line'] = lineno
            if word == 'columns' and not rest.isdigit():
                fail(lineno, f'column count {rest!r}')
    for t in tables:
        for key in ('endpoint', 'flags', 'paging', 'count'):
            if t.get(key) is None:
                fail(t['line'], f'{t["name"]} lacks {key}')
        if t['paging'] not in PAGING:
            fail(t['line'], f'{t["name"]}: paging {t["paging"]!r}')
        t['flags'] = parse_hex(t['flags'], t['flags_line'])
        if int(t['count']) != len(t['columns']):
            fail(t['line'], f'{t["name"]} lists {len(t["columns"])} columns, says {t["count"]}')
        if t['endpoint'].count('%s') > 1 or '%' in t['endpoint'].replace('%s', ''):
            fail(t['line'], f'{t["name"]}: endpoint may hold one %s and no other %')
        if (t['flags'] & 0x100) and not t.get('sub_key'):
            fail(t['line'], f'{t["name"]}: child rows need a sub key')
        if t.get('history_years') and not t.get('window_days'):
            fail(t['line'], f'{t["name"]}: history_years needs window_days')
        if t.get('window_days'):
            # The windows split the range of the table's mandatory lower and
            # upper filters; without both there is no range to split.
            kinds = [c['flags'] & 0xe for c in t['columns']]
            if 0x6 not in kinds or 0xa not in kinds:
                fail(t['line'], f'{t["name"]}: window_days needs mandatory lower and upper filters')
        for c in t['columns']:
            if (c['flags'] & 0x400000) and (not c['param'] or c['sql'] != 2):
                fail(t['line'], f'{t["name"]}.{c["name"]}: an amount range needs a parameter and NUMERIC')
            # A default is sent and echoed like an equality: only the
            # remembering filters (0x200, 0x400, 0x800) of character columns
            # can carry one, and never a mandatory one.
            if c['values'] and (not c['flags'] & 0xe00 or c['flags'] & 0x20000e or c['sql'] != 12):
                fail(t['line'], f'{t["name"]}.{c["name"]}: parameter values need a remembered character filter')
    if len(tables) != TABLE_COUNT:
        sys.exit(f'catalog_data.txt: {len(tables)} tables, expected {TABLE_COUNT}')
    return tables


def path_members(path):
    # "." names the element itself (an array of bare values): no members.
    return [] if path == '.' else path.split(',')


def json_path(path):
    return '' if path == '.' else path


def c_str(text):
    if text is None:
        return 'nullptr'
    return '"' + text.replace('\\', '\\\\').replace('"', '\\"') + '"'


def write_cpp(tables, out):
    w = []
    w.append('// GENERATED by sqi/gen_catalog.py from sqi/catalog_data.txt: do not edit.')
    w.append('// The constant catalogue of the PayPal provider (see sqi/catalog.h).')
    w.append('#include "sqi/catalog.h"\n')
    w.append('namespace {\n')
    for ti, t in enumerate(tables):
        for ci, c in enumerate(t['columns']):
            members = ''.join(c_str(m) + ', ' for m in path_members(c['path']))
            w.append(f'const char *const p{ti}_{ci}[] = {{{members}nullptr}};')
        if t.get('list_key'):
            members = ', '.join(c_str(m) for m in t['list_key'].split(','))
            w.append(f'const char *const l{ti}[] = {{{members}, nullptr}};')
        if t.get('sub_key'):
            members = ', '.join(c_str(m) for m in t['sub_key'].split(','))
            w.append(f'const char *const s{ti}[] = {{{members}, nullptr}};')
        for ci, c in enumerate(t['columns']):
            if c['values']:
                members = ''.join(c_str(v) + ', ' for v in c['values'])
                w.append(f'const char *const v{ti}_{ci}[] = {{{members}nullptr}};')
        w.append(f'const PaypalColumn c{ti}[] = {{  // {t["name"]}')
        for ci, c in enumerate(t['columns']):
            depth = len(path_members(c['path']))
            values = f'v{ti}_{ci}' if c['values'] else 'nullptr'
            w.append(f'    {{{c_str(c["name"])}, {c["sql"]}, {c["size"]}, 0x{c["flags"]:x}, {c_str(json_path(c["path"]))}, '
                     f'{c_str(c["param"])}, {c_str(c["json"])}, {c_str(c["body"])}, p{ti}_{ci}, {depth}, {values}}},')
        w.append('    {nullptr, 0, 0, 0, nullptr, nullptr, nullptr, nullptr, nullptr, 0, nullptr},')
        w.append('};\n')
    w.append('}  // namespace\n')
    w.append('const PaypalTable kPaypalTables[kPaypalTableCount + 1] = {')
    for ti, t in enumerate(tables):
        lk = t.get('list_key')
        members = f'l{ti}, {len(lk.split(","))}' if lk else 'nullptr, 0'
        sk = t.get('sub_key')
        subs = f's{ti}, {len(sk.split(","))}' if sk else 'nullptr, 0'
        numbers = ', '.join(str(t.get(n, 0)) for n in NUMBERS)
        w.append(f'    {{{c_str(t["name"])}, {c_str(t["endpoint"])}, {len(t["columns"])}, 0x{t["flags"]:x}, c{ti}, '
                 f'{c_str(lk)}, {c_str(sk)}, {members}, PagingStyle::{PAGING[t["paging"]]}, {subs}, {numbers}}},')
    w.append('    {nullptr, nullptr, 0, 0, nullptr, nullptr, nullptr, nullptr, 0, PagingStyle::kNone, nullptr, 0, 0, 0, 0},')
    w.append('};')
    text = '\n'.join(w) + '\n'
    try:
        if open(out, encoding='utf-8').read() == text:
            return  # unchanged: keep the time stamp so nothing rebuilds
    except OSError:
        pass
    open(out, 'w', encoding='utf-8').write(text)


OPS = [(0x4, 'lower bound: `>`, `>=`, `=`'), (0x8, 'upper bound: `<`, `<=`, `=`'),
       (0x200000, 'third bound: `<`, `<=`, `=`'), (0x200, '`=`'), (0x400, '`=`'), (0x800, '`=`'), (0x10, '`=`'),
       (0x400000, 'range: both bounds as `low TO high` in minor units')]
PAGING_TEXT = {'none': 'one reply', 'page_numbers': '`page`/`page_size` up to `total_pages`',
               'next_link': '`next` link with `next_page_token`', 'start_id': '`count` with `start_id`/`next_id`'}


def filter_text(c):
    for bit, text in OPS:
        if c['flags'] & bit:
            req = ', required' if c['flags'] & 0x2 else ''
            if c['values']:
                listed = ' or '.join(f"'{v}'" for v in c['values'])
                req += f"; {listed}, '{c['values'][0]}' sent when not given"
            return f'{c["name"]} → `{c["param"]}` ({text}{req})'
    return None


def rows_text(t):
    # Which JSON array holds the rows: the list-key array for list replies,
    # else the reply object itself (then the sub-key array for child tables).
    f = t['flags']
    list_rows = f'`{t["list_key"]}` array' if t.get('list_key') else 'reply object'
    unkeyed = list_rows if (not f & 0x8000 or f & 0x1000) else 'reply object'
    keyed = list_rows if f & 0x1000 else 'reply object'
    if f & 0x10000:
        text = keyed
    elif f & 0x20000:
        text = unkeyed if unkeyed == keyed else f'{unkeyed}; keyed: {keyed}'
    else:
        text = unkeyed
    if f & 0x100:
        text += f', each element of its `{t["sub_key"]}`'
    return text


def write_docs(tables):
    w = ['# PayPal tables', '',
         'Generated by `sqi/gen_catalog.py --docs sqi/catalog_data.txt` from the catalogue data; the',
         '`paypal_tables_doc` test fails when this file differs from what the generator prints.', '',
         'All tables are in catalog `PAYPAL`, schema `DBO`. *Key* is the column whose `=` restriction goes',
         'into the request path (required unless marked optional). *Filters* are the restrictions sent to',
         'the API as query parameters, with the operators that are sent; every other restriction is applied',
         'by the driver to the rows PayPal returns. A filter column reads back the value its restriction sent.',
         'A filter listed with its values takes only those, and the first is sent when the query gives none.', '',
         '| # | Table | Endpoint | Key | Filters | Rows | Paging | Changes |',
         '|---|---|---|---|---|---|---|---|']
    for i, t in enumerate(tables, 1):
        # A path key is only sent by tables whose flags take one.
        keys = [c['name'] for c in t['columns'] if c['flags'] & 0x10000] if t['flags'] & 0x30000 else []
        key = ', '.join(keys) if keys else '—'
        if keys and t['flags'] & 0x20000:
            key += ' (optional)'
        filters = [f for f in (filter_text(c) for c in t['columns']) if f]
        rows = rows_text(t)
        changes = [name for bit, name in ((0x40000, 'INSERT'), (0x20, 'UPDATE'), (0x80000, 'DELETE'))
                   if t['flags'] & bit]
        if changes and changes[0] == 'INSERT' and t['flags'] & 0x800000:
            changes[0] = 'INSERT (resent with its request id)'

        paging = PAGING_TEXT[t['paging']]
        if t.get('page_size'):
            paging += f', {t["page_size"]} rows a page'
        if t.get('window_days'):
            paging += f', in windows of at most {t["window_days"]} days'
            if t.get('history_years'):
                paging += f' over the last {t["history_years"]} years'
        w.append(f'| {i} | `{t["name"]}` | `{t["endpoint"]}` | {key} | {"; ".join(filters) or "—"} | {rows} | '
                 f'{paging} | {", ".join(changes) or "—"} |')
    noted = [t for t in tables if t['notes']]
    if noted:
        w += ['', '## Notes', '']
        w += [f'- `{t["name"]}`: ' + ' '.join(t['notes']) for t in noted]
    w += [''] + VALUES_TEXT
    return '\n'.join(w) + '\n'


# How reply values become column values (sqi/value_rules.cpp); fixed text.
VALUES_TEXT = [
    '## Column values', '',
    'Each column reads the JSON member its path names. It is NULL only when the member is absent or JSON',
    '`null`, and for an array column when the array is empty; any other value becomes the column\'s value',
    'as below, or the fetch fails with an error naming the table, the column and the value as PayPal',
    'sent it: 22018 for a value of the wrong kind or a text that is no number, 22007 for a text that is',
    'no date or time, 22003 for a number outside the column\'s type.', '',
    '| Column type | JSON value | Value |',
    '|---|---|---|',
    '| TIMESTAMP | RFC 3339 text (`2025-06-28T10:11:12.345-07:00`) | the same instant in UTC, '
    'fraction of a second kept to the nanosecond; a text without offset is read as written |',
    '| TIMESTAMP | date-only text (`2025-06-28`, PayPal\'s `date_no_time`) | midnight of that day |',
    '| NUMERIC | number, or a number in a string (`"10.00"`) | exactly that decimal, rounded to the '
    'column\'s places |',
    '| INTEGER, TINYINT | number, or a number in a string | the integer, a fraction cut toward zero |',
    '| TINYINT (boolean), INTEGER, NUMERIC | `true`, `false` | 1, 0 |',
    '| NVARCHAR, LONGNVARCHAR | string | the text as sent |',
    '| NVARCHAR, LONGNVARCHAR | number | its shortest exact decimal (`0.1`, `12.5`) |',
    '| NVARCHAR, LONGNVARCHAR | `true`, `false` | `True`, `False` |',
    '| NVARCHAR, LONGNVARCHAR | object, array | its JSON text with sorted keys '
    '(`{"given_name": "Ann", "surname": "Lee"}`) |',
]


def main():
    if len(sys.argv) == 4 and sys.argv[1] == '--cpp':
        write_cpp(parse(sys.argv[2]), sys.argv[3])
    elif len(sys.argv) == 3 and sys.argv[1] == '--docs':
        sys.stdout.write(write_docs(parse(sys.argv[2])))
    else:
        sys.exit(__doc__)


if __name__ == '__main__':
    main()
