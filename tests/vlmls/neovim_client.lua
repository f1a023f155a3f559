-- The language server driven by Neovim's own LSP client (Neovim 0.7, as in Debian 12), headless:
-- a two-module program (tests/vlmls/program, copied to a scratch folder) opened with its one
-- error, the diagnostics Neovim shows, a jump to a definition in the other module, references,
-- document symbols and semantic tokens, a rename across both modules as Neovim applies it,
-- completion, hover and signature help of a runtime operation typed into the buffer, and the
-- error fixed in the buffer clearing the diagnostics.
--   VLMLS=build/tools/vlmls/vlmls VLMLS_PROGRAM=tests/vlmls/program \
--     nvim --headless --clean -n -i NONE -c 'luafile tests/vlmls/neovim_client.lua'
-- Exits 0 when every check passed; otherwise lists the failures and exits 1.
local failures = {}
local function check(ok, what)
  if not ok then
    table.insert(failures, what)
  end
  io.stderr:write((ok and 'ok   ' or 'FAIL ') .. what .. '\n')
end

local function finish()
  if #failures > 0 then
    io.stderr:write(#failures .. ' check(s) failed\n')
    vim.cmd('cquit 1')
  else
    io.stderr:write('all checks passed\n')
    vim.cmd('qall!')
  end
end

local function run()
  local server = assert(os.getenv('VLMLS'), 'VLMLS names the server')
  local source = assert(os.getenv('VLMLS_PROGRAM'), 'VLMLS_PROGRAM names the program folder')
  local dir = vim.fn.tempname()
  vim.fn.mkdir(dir, 'p')
  for _, name in ipairs({ 'velmora.json', 'main.bas', 'shapes.bas' }) do
    vim.fn.writefile(vim.fn.readfile(source .. '/' .. name, 'b'), dir .. '/' .. name, 'b')
  end

  local exited = nil
  local id = vim.lsp.start_client({
    name = 'vlmls',
    cmd = { server },
    root_dir = dir,
    on_exit = function(code) exited = code end,
  })
  check(id ~= nil, 'the client starts the server')
  vim.cmd('edit ' .. vim.fn.fnameescape(dir .. '/main.bas'))
  local main = vim.api.nvim_get_current_buf()
  vim.lsp.buf_attach_client(main, id)
  local client = vim.lsp.get_client_by_id(id)

  -- 1. The error, as Neovim's diagnostics show it.
  vim.wait(20000, function() return #vim.diagnostic.get(main) > 0 end, 20)
  local diagnostics = vim.diagnostic.get(main)
  check(#diagnostics == 1, 'one diagnostic for main.bas (got ' .. #diagnostics .. ')')
  local d = diagnostics[1] or {}
  check(d.message == "unknown variable 'widht'; did you mean 'width'?", 'the message is vlmc\'s: ' .. tostring(d.message))
  check(d.lnum == 5 and d.col == 35 and d.end_col == 40, string.format('at line 6, columns 36-40 (got %s:%s-%s)',
    tostring(d.lnum), tostring(d.col), tostring(d.end_col)))
  check(d.severity == vim.diagnostic.severity.ERROR, 'an error')

  local function position(line, character)
    return { textDocument = { uri = vim.uri_from_bufnr(main) }, position = { line = line, character = character } }
  end

  -- 2. Go to the definition of Area, which module 1 defines: Neovim jumps there.
  vim.api.nvim_win_set_cursor(0, { 6, 9 })
  vim.lsp.buf.definition()
  vim.wait(10000, function() return vim.api.nvim_buf_get_name(0):match('shapes%.bas$') ~= nil end, 20)
  check(vim.api.nvim_buf_get_name(0):match('shapes%.bas$') ~= nil, 'the definition opens shapes.bas')
  local cursor = vim.api.nvim_win_get_cursor(0)
  check(cursor[1] == 2 and cursor[2] == 9, string.format('at FUNCTION Area, line 2 column 10 (got %d:%d)',
    cursor[1], cursor[2] + 1))
  local shapes = vim.api.nvim_get_current_buf()
  vim.lsp.buf_attach_client(shapes, id)  -- as a FileType autocommand would for every .bas buffer
  vim.api.nvim_set_current_buf(main)

  -- 3. References of Area in both modules, the routines and globals of each, and the semantic tokens.
  local refs = client.request_sync('textDocument/references',
    vim.tbl_extend('force', position(5, 9), { context = { includeDeclaration = true } }), 10000, main)
  local places = {}
  for _, l in ipairs(refs and refs.result or {}) do
    table.insert(places, vim.fn.fnamemodify(vim.uri_to_fname(l.uri), ':t') .. ':' .. l.range.start.line .. ':' ..
      l.range.start.character)
  end
  table.sort(places)
  check(table.concat(places, ' ') == 'main.bas:5:30 main.bas:5:8 shapes.bas:1:9',
    'references of Area: ' .. table.concat(places, ' '))
  local symbols = client.request_sync('textDocument/documentSymbol',
    { textDocument = { uri = vim.uri_from_bufnr(shapes) } }, 10000, shapes)
  local outline = {}
  for _, s in ipairs(symbols and symbols.result or {}) do
    local children = {}
    for _, c in ipairs(s.children or {}) do table.insert(children, c.name) end
    table.insert(outline, s.name .. '(' .. table.concat(children, ',') .. ')')
  end
  check(table.concat(outline, ' ') == 'Area(w,h,a)', 'shapes.bas lists Area with its parameters and local: ' ..
    table.concat(outline, ' '))
  local tokens = client.request_sync('textDocument/semanticTokens/full',
    { textDocument = { uri = vim.uri_from_bufnr(main) } }, 10000, main)
  local data = tokens and tokens.result and tokens.result.data or {}
  local legend = client.server_capabilities.semanticTokensProvider.legend
  local kinds, line, start = {}, 0, 0
  for k = 1, #data, 5 do
    line = line + data[k]
    start = (data[k] == 0) and (start + data[k + 1]) or data[k + 1]
    kinds[line .. ':' .. start] = legend.tokenTypes[data[k + 3] + 1]
  end
  check(kinds['5:8'] == 'function' and kinds['5:0'] == 'variable' and kinds['2:7'] == 'variable',
    'semantic tokens: Area a function, total and frames variables (' .. vim.inspect(kinds['5:8']) .. ')')

  -- 4. Rename Area to Surface in both modules, as Neovim applies the edit; refusals are errors.
  local renamed = client.request_sync('textDocument/rename',
    vim.tbl_extend('force', position(5, 9), { newName = 'Surface' }), 10000, main)
  check(renamed and renamed.result and not renamed.err, 'rename gives an edit')
  if renamed and renamed.result then
    vim.lsp.util.apply_workspace_edit(renamed.result, client.offset_encoding)
  end
  check(vim.api.nvim_buf_get_lines(main, 5, 6, false)[1] == 'total = Surface(width, height) + Surface(widht, 2)',
    'main.bas calls Surface: ' .. vim.api.nvim_buf_get_lines(main, 5, 6, false)[1])
  check(vim.api.nvim_buf_get_lines(shapes, 1, 2, false)[1] == 'FUNCTION Surface(w, h)',
    'shapes.bas defines Surface: ' .. vim.api.nvim_buf_get_lines(shapes, 1, 2, false)[1])
  local clash = client.request_sync('textDocument/rename',
    vim.tbl_extend('force', position(3, 0), { newName = 'height' }), 10000, main)
  check(clash and clash.err and clash.err.message:match('already taken') ~= nil,
    'renaming width to height is refused: ' .. vim.inspect(clash and clash.err))
  local operation = client.request_sync('textDocument/rename',
    vim.tbl_extend('force', position(8, 3), { newName = 'Box' }), 10000, main)
  check(operation and operation.err and operation.err.message:match('runtime operation') ~= nil,
    'renaming DrawRect is refused: ' .. vim.inspect(operation and operation.err))

  -- 5. A runtime operation typed into the buffer: completion with its parameters and reference
  -- text, then hover and signature help once the call is written out.
  vim.api.nvim_buf_set_lines(main, 10, 10, false, { '  DrawR' })
  local completion = client.request_sync('textDocument/completion', position(10, 7), 10000, main)
  local items = completion and completion.result or {}
  if items.items then items = items.items end
  local found = nil
  for _, item in ipairs(items) do
    if item.label == 'DrawRect' then found = item end
  end
  check(found ~= nil, 'DrawRect is offered after DrawR (' .. #items .. ' items)')
  found = found or {}
  check(found.detail == 'DrawRect(x, y, w, h, colour)', 'with its parameters: ' .. tostring(found.detail))
  local doc = found.documentation and found.documentation.value or ''
  check(doc:match('Fills the rectangle') ~= nil, 'and the header comment as its documentation')
  local other = false
  for _, item in ipairs(items) do
    if item.label == 'ShowScreen' then other = true end
  end
  check(not other, 'operations of other initials are left to later keystrokes')

  vim.api.nvim_buf_set_lines(main, 10, 11, false, { '  DrawRect(1, 2, ' })
  local help = client.request_sync('textDocument/signatureHelp', position(10, 17), 10000, main)
  local signature = help and help.result and help.result.signatures and help.result.signatures[1] or {}
  check(signature.label == 'DrawRect(x, y, w, h, colour)', 'signature help: ' .. tostring(signature.label))
  check(help and help.result and help.result.activeParameter == 2, 'on the third parameter')
  vim.api.nvim_buf_set_lines(main, 10, 11, false, { '  DrawRect(1, 2, 3, 4, 5)' })
  local hover = client.request_sync('textDocument/hover', position(10, 4), 10000, main)
  local contents = hover and hover.result and hover.result.contents or {}
  check((contents.value or ''):match('Fills the rectangle') ~= nil, 'hover gives the reference text')

  -- 6. The error fixed in the buffer: the diagnostics go.
  vim.api.nvim_buf_set_lines(main, 5, 6, false, { 'total = Surface(width, height) + Surface(width, 2)' })
  vim.wait(20000, function() return #vim.diagnostic.get(main) == 0 end, 20)
  check(#vim.diagnostic.get(main) == 0, 'no diagnostics once the error is fixed: ' ..
    vim.inspect(vim.tbl_map(function(x) return x.message end, vim.diagnostic.get(main))))
  check(exited == nil, 'the server is still running')

  vim.lsp.stop_client(id)
  vim.wait(5000, function() return exited ~= nil end, 20)
  check(exited == 0, 'the server ends with 0 after shutdown and exit (got ' .. tostring(exited) .. ')')
end

local ok, err = pcall(run)
check(ok, 'the script ran to its end' .. (ok and '' or (': ' .. tostring(err))))
finish()
