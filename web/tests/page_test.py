"""The page, opened from disk, in one engine: page_test.py CASE ENGINE PAGE GOLDEN AXE (axe-core's script). ENGINE:
chromium (chromedriver), webkit (WebKitWebDriver, on an Xvfb of its own) or firefox (WebDriver BiDi: Debian has no geckodriver).
Every case also checks, where the engine tells, that no request left the page and nothing was logged as an error."""
import atexit, functools, glob, shutil, http.server, json, os, pathlib, subprocess, sys, tempfile, threading, time, websocket
from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.webdriver.common.keys import Keys

case, engine, page, golden, axe = sys.argv[1], sys.argv[2], os.path.abspath(sys.argv[3]), open(sys.argv[4], 'rb').read(), sys.argv[5]
tempfile.tempdir = tempfile.mkdtemp(prefix='page-test-')  # the browsers' profiles, homes and downloads, removed at the end
atexit.register(shutil.rmtree, tempfile.tempdir, True)
first = b''.join(block + b'\r\n\r\n' for block in golden.split(b'\r\n\r\n')[:3])  # up to player 2: alike in every default press
NAMES = [f'{row}: {column}' for column in ('Min', 'Max') for row in ('Rook', 'Knight', 'Bishop', 'Queen', 'Legal moves')] + [
    'Max depth of black player:', 'Max depth of white player:', 'Number of player in population:',
    'Max number of generation:', 'Time limit for evolution (min):', 'Generate random population']

class Classic:  # chromedriver and WebKitWebDriver, through Selenium
    def click(self, selector): self.find_element(By.CSS_SELECTOR, selector).click()
    def keys(self, text): self.switch_to.active_element.send_keys(text)
    def focused(self, name): return self.switch_to.active_element.accessible_name == name

class WebKit(Classic, webdriver.Remote):  # on an Xvfb and in a home (where it saves) of its own; whole scales, no font size
    def __init__(self, downloads, scale, font):
        helper, folder = [str(pathlib.Path(__file__).parents[2] / 'tests/support/private_display.sh')], tempfile.mkdtemp()
        display = subprocess.run(['bash', *helper, 'start', folder], check=True, stdout=subprocess.PIPE, text=True).stdout.strip()
        atexit.register(subprocess.run, ['bash', *helper, 'stop', folder])
        os.environ.update(HOME=downloads, GDK_SCALE=str(scale), DISPLAY=display)
        (options := webdriver.WebKitGTKOptions()).add_argument('--automation')
        options.binary_location = sorted(glob.glob('/usr/lib/*/webkit*gtk-*/MiniBrowser'))[0]
        self.service = webdriver.webkitgtk.service.Service(shutil.which('WebKitWebDriver'))  # any Selenium release takes it so
        self.service.start()
        super().__init__(command_executor=self.service.service_url, options=options)
    def quit(self): super().quit(), self.service.stop()
    def problems(self): return [], []  # WebKitWebDriver tells neither requests nor errors

class Chromium(Classic, webdriver.Chrome):
    def problems(self):
        requests = [json.loads(entry['message'])['message'] for entry in self.get_log('performance')]
        return ({m['params']['request']['url'] for m in requests if m['method'] == 'Network.requestWillBeSent'},
                [entry['message'] for entry in self.get_log('browser') if entry['level'] == 'SEVERE'])

class Firefox:  # the same few commands, over WebDriver BiDi
    def __init__(self, downloads, scale, font):
        profile, self.id, self.events = tempfile.mkdtemp(), 0, []
        pathlib.Path(profile, 'user.js').write_text(''.join(f'user_pref("{name}", {json.dumps(value)});\n' for name, value in {
            'browser.download.dir': downloads, 'browser.download.folderList': 2, 'browser.download.always_ask_before_handling_new_types': False,
            'layout.css.devPixelsPerPx': str(scale), 'font.size.variable.x-western': font,
            'layout.css.prefers-color-scheme.content-override': int(os.environ['POPGEN_SCHEME'] == 'light')}.items()))
        atexit.register(subprocess.Popen(['firefox-esr', '--headless', '--no-remote', '--remote-debugging-port=0', '--profile', profile],
                                         stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).kill)
        while not os.path.exists(server := os.path.join(profile, 'WebDriverBiDiServer.json')) or not os.path.getsize(server): time.sleep(0.05)
        self.socket = websocket.create_connection(f'ws://127.0.0.1:{json.load(open(server))["ws_port"]}/session', suppress_origin=True)
        self.send('session.new', capabilities={})
        self.send('session.subscribe', events=['log.entryAdded', 'network.beforeRequestSent'])
        self.context = self.send('browsingContext.getTree')['contexts'][0]['context']
    def send(self, method, **params):
        self.id += 1
        self.socket.send(json.dumps({'id': self.id, 'method': method, 'params': params}))
        while (message := json.loads(self.socket.recv())).get('id') != self.id: self.events.append(message)
        if 'error' in message: raise AssertionError(f'{method}: {message}')
        return message['result']
    def get(self, url): self.send('browsingContext.navigate', context=self.context, url=url, wait='complete')
    def run(self, expression, args):  # results and arguments through JSON
        result = self.send('script.evaluate', target={'context': self.context}, awaitPromise=True,
                           expression=f'(async (args) => JSON.stringify([await {expression}]))({json.dumps(args)})')
        if result['type'] == 'exception': raise AssertionError(result['exceptionDetails']['text'])
        return json.loads(result['result']['value'])[0]
    def execute_script(self, body, *args): return self.run(f'(function () {{ {body} }}).apply(null, args)', args)
    def execute_async_script(self, body, *args): return self.run(f'new Promise(done => (function () {{ {body} }}).apply(null, [...args, done]))', args)
    def nodes(self, kind, value): return self.send('browsingContext.locateNodes', context=self.context, locator={'type': kind, 'value': value})['nodes']
    def act(self, kind, *actions): self.send('input.performActions', context=self.context, actions=[{'type': kind, 'id': kind, 'actions': actions}])
    def click(self, selector):
        at = {'type': 'element', 'element': {'sharedId': self.nodes('css', selector)[0]['sharedId']}}
        self.act('pointer', {'type': 'pointerMove', 'x': 0, 'y': 0, 'origin': at}, {'type': 'pointerDown', 'button': 0}, {'type': 'pointerUp', 'button': 0})
    def keys(self, text): self.act('key', *({'type': t, 'value': k} for k in text for t in ('keyDown', 'keyUp')))
    def focused(self, name):
        named = [{'sharedId': node['sharedId']} for node in self.nodes('accessibility', {'name': name})]
        return self.send('script.callFunction', functionDeclaration='(...named) => named.includes(document.activeElement)',
                         arguments=named, target={'context': self.context}, awaitPromise=False)['result']['value']
    def problems(self):
        return ({e['params']['request']['url'] for e in self.events if e['method'] == 'network.beforeRequestSent'},
                [e['params']['text'] for e in self.events if e['method'] == 'log.entryAdded' and e['params']['level'] == 'error'])
    def quit(self): self.send('browser.close')

def chromium(downloads, scale, font):
    options = webdriver.ChromeOptions()  # --no-sandbox: CI runs as root, where Chromium's sandbox will not start
    for flag in ('--headless --no-sandbox --disable-gpu --disable-quic --no-first-run --disable-background-networking '
                 f'--disable-component-update --disable-sync --force-device-scale-factor={scale} '
                 f'--user-data-dir={tempfile.mkdtemp()}').split():
        options.add_argument(flag)
    options.binary_location = shutil.which('chromium')
    options.add_experimental_option('prefs', {'webkit.webprefs.default_font_size': font})
    options.set_capability('goog:loggingPrefs', {'browser': 'ALL', 'performance': 'ALL'})
    driver = Chromium(service=Service(shutil.which('chromedriver')), options=options)
    driver.execute_cdp_cmd('Browser.setDownloadBehavior', {'behavior': 'allow', 'downloadPath': downloads})
    driver.execute_cdp_cmd('Emulation.setEmulatedMedia', {'features': [{'name': 'prefers-color-scheme', 'value': os.environ['POPGEN_SCHEME']}]})
    return driver

def browser(scale=1, font=16, scheme='light'):  # each with a folder of its own for downloads; WebKit's scheme is GTK's
    os.environ.update(POPGEN_SCHEME=scheme, GTK_THEME='Adwaita' + (':dark' if scheme == 'dark' else ''))
    driver = {'chromium': chromium, 'firefox': Firefox, 'webkit': WebKit}[engine](downloads := tempfile.mkdtemp(), scale, font)
    driver.downloads = downloads
    return driver

def open_page(driver, url='file://' + page):
    driver.get(url)
    for _ in range(200):
        if driver.execute_script('return document.documentElement.dataset.ready') == 'true': return
        time.sleep(0.05)
    raise AssertionError('the page never became ready')

def check(condition, what):
    if not condition: raise AssertionError(what)

def press(driver, script=None, *args):
    """Presses the button (or runs `script`, which may); the list downloaded (None: none), or the report shown."""
    folder, listed = driver.downloads, os.path.join(driver.downloads, 'game_list.txt')
    driver.execute_async_script(script, *args) if script else driver.click('[data-name=Command1]')
    for _ in range(100):
        time.sleep(0.05)
        saved = [name for name in os.listdir(folder) if not name.startswith('.')]
        if driver.execute_script('return document.getElementById("report").open'):
            check(not saved, 'nothing downloaded when a press fails')
            return driver.execute_script('return document.getElementById("report-text").textContent')
        if saved == ['game_list.txt'] and os.path.getsize(listed):
            text = open(listed, 'rb').read()
            os.remove(listed)
            return text

def field(driver, name, text=None):
    return driver.execute_script(f'const field = document.querySelector(\'[data-name="{name}"]\');' +
                                 ('return field.value' if text is None else f'field.value = {json.dumps(text)}'))

def players(text):  # the values of each player from 2 on
    return [block.split(b'\r\n', 1)[1] for block in text.split(b'\r\n\r\n')[3:-1]]

def downloads(driver):
    open_page(driver)
    check(press(driver) == golden, 'the first press downloads the golden list')
    field(driver, 'text3(12)', '40000')
    report = press(driver)
    check(report and report.startswith('Number out of range') and '"40000"' in report, f'the overflow is reported: {report}')
    axe_finds_nothing(driver, 'with the report open')  # an alert dialog named by its heading, the caption
    check(driver.execute_script('return document.activeElement.id') == 'report-ok', 'the report takes the focus')
    driver.keys(Keys.ESCAPE)
    check(driver.execute_script('return document.activeElement.dataset.name') == 'Command1', 'the focus goes back to the button')
    check(field(driver, 'text3(12)') == '40000', 'the fields keep their texts')
    field(driver, 'text3(12)', '30')
    field(driver, 'text3(10)', '5\ud83d')  # half of a surrogate pair, which the list cannot hold
    check('holds a broken character' in str(press(driver)), 'the broken text is refused')
    driver.keys(Keys.ESCAPE)
    field(driver, 'text3(10)', '5')
    second = press(driver)
    check(second.startswith(first) and second != golden, 'a second press continues the sequence')
    open_page(driver)  # a reload starts the sequence again: 59 players draw both presses' values
    field(driver, 'text3(12)', '59')
    both = players(press(driver))
    check(both == players(golden) + players(second), 'the second list continues the first')
    driver.execute_script('delete Module.HEAPU8')  # an error the page did not foresee is reported too, and nothing saved
    check('The list was not written' in str(press(driver)), 'an unforeseen error is reported')

def keyboard(driver):
    open_page(driver)
    for name in NAMES:  # the focus starts in the rook's Min field
        check(driver.focused(name), f'tab order and accessible names: {name} is not focused')
        driver.keys(Keys.TAB)
    check(driver.execute_script('return where.textContent') == "Writes game_list.txt into the browser's downloads", 'where')
    for _ in range(3):  # past the folder's buttons, where the engine has them
        if not driver.focused('Licence and notices'): driver.keys(Keys.TAB)
    # Firefox's key actions over BiDi activate nothing here, neither a button nor this: there it is clicked.
    driver.click('summary') if engine == 'firefox' else driver.keys(Keys.ENTER)
    notices = driver.execute_script('return notices.open && notices.textContent')
    check(all(notice in str(notices) for notice in ('The Population generator authors', 'The Emscripten Authors', 'Rich Felker')), 'the notices open')
    axe_finds_nothing(driver, 'with the notices open')

def axe_finds_nothing(driver, when):
    driver.execute_script(open(axe).read())
    found = driver.execute_async_script('axe.run({runOnly: ["wcag2a", "wcag2aa", "wcag21a", "wcag21aa", "best-practice"]})'
                                        '.then(result => arguments[0](result.violations.map(v => v.id)))')
    check(found == [], f'accessibility violations {when}: {found}')

def looks():  # light or dark as the system is; at 320 x 256 (400 % of 1280 x 1024) no sideways scrolling
    for scheme in ('light', 'dark'):
        open_page(driver := browser(scheme=scheme))
        shades = lambda selector: driver.execute_script('''const style = getComputedStyle(document.querySelector(arguments[0]));
            return [style.backgroundColor, style.color].map(c => c.match(/[\\d.]+/g).slice(0, 3).reduce((a, b) => a + b / 3, 0));''', selector)
        field = shades('.field')
        check(field == [255, 0] if scheme == 'light' else field[0] < 100 and field[1] > 155, f'{scheme} fields, background and text: {field}')
        axe_finds_nothing(driver, f'in the {scheme} scheme')
        widths = driver.execute_async_script('''const [page, done] = arguments, frame = document.createElement('iframe');
            frame.style = 'width: 320px; height: 256px; border: 0';
            frame.onload = () => { const view = frame.contentDocument.documentElement;
                (function ready() {  // a narrower scroll bar, or an overlay one: 305 pixels left all the same
                    if (!view.dataset.ready) return setTimeout(ready, 50);
                    frame.style.width = 320 - Math.max(0, view.clientWidth - 305) + 'px';
                    done([view.scrollWidth, view.clientWidth, 320 - view.clientWidth]); })(); };
            frame.srcdoc = page;
            document.body.append(frame);''', open(page, encoding='utf-8').read())
        check(widths[0] <= widths[1] <= 305, f'sideways scrolling at 320 x 256: scroll, client and view widths {widths}')
        if scheme == 'dark':  # the failure report, which a press for 40000 players opens, is dark too
            driver.execute_script('document.querySelector(\'[data-name="text3(12)"]\').value = "40000"')
            report = press(driver) and shades('#report[open]')
            check(report and report[0] < 100 and report[1] > 155, f'the dark report, background and text: {report}')
        left_page(driver)

def folder(driver):
    if engine != 'chromium':  # no showDirectoryPicker: downloads alone
        return open_page(driver), check(driver.execute_script('return document.getElementById("folder-choice").hidden'), 'no folder')
    # The origin-private folder is not offered to file:// pages, so the same
    # file is served from this process over the loopback interface.
    handler = functools.partial(http.server.SimpleHTTPRequestHandler, directory=os.path.dirname(page))
    server = http.server.ThreadingHTTPServer(('127.0.0.1', 0), handler)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    open_page(driver, f'http://127.0.0.1:{server.server_port}/{os.path.basename(page)}')
    # The picker hands over the origin-private folder "tuning"; the list's openings for writing are counted.
    driver.execute_async_script('''const done = arguments[0], open = FileSystemFileHandle.prototype.createWritable;
        window.showDirectoryPicker = () => navigator.storage.getDirectory().then(root => root.getDirectoryHandle('tuning', {create: true}))
            .then(async folder => (await folder.getDirectoryHandle('files', {create: true}), folder));
        Object.assign(window, {opened: 0, full: false, permission: 'granted', requested: 0});  // as "prompt" after a restart
        FileSystemHandle.prototype.queryPermission = async () => permission;
        FileSystemHandle.prototype.requestPermission = async () => (requested++, permission = 'granted');
        FileSystemFileHandle.prototype.createWritable = function (...options) {
            opened++;
            return full ? Promise.reject(new DOMException('The disk is full.', 'QuotaExceededError')) : open.apply(this, options); };
        document.getElementById('choose-folder').click();
        (function chosen() { where.textContent.includes('tuning') ? done() : setTimeout(chosen, 20); })();''')
    shown = driver.execute_script('return [where.textContent, document.querySelector("#form .button").title]')
    check(shown == ['Writes tuning/files/game_list.txt'] * 2, f'where, and the button\'s title: {shown}')
    for files, clicks, reported, written, opened in (  # what "tuning/files" becomes, the clicks, and then
            ('folder', 2, None, golden.decode(), 1),  # a double click runs once
            ('full', 1, 'Could not write "tuning/files/game_list.txt"', golden.decode(), 1),  # the list kept
            ('prompt', 1, None, first.decode(), 1),  # written after one request
            ('missing', 1, 'the folder "tuning/files" does not exist', 'NotFoundError', 0),
            ('file', 1, '"tuning/files" is not a folder', 'TypeMismatchError', 0),
            ('closed', 0, None, 'TypeMismatchError', 0),  # the picker closed: nothing said, the folder kept
            ('refused', 0, 'Choosing the folder failed: SecurityError', 'TypeMismatchError', 0)):  # by the picker: the folder kept
        report = press(driver, '''const [files, clicks, done] = arguments;
            navigator.storage.getDirectory().then(root => root.getDirectoryHandle('tuning')).then(async folder => {
                if (files === 'missing') await folder.removeEntry('files', {recursive: true});
                if (files === 'file') await folder.getFileHandle('files', {create: true});
                if (['refused', 'closed'].includes(files)) showDirectoryPicker = () => Promise.reject(new DOMException('No.', files === 'closed' ? 'AbortError' : 'SecurityError')),
                    document.getElementById('choose-folder').click();
                full = files === 'full';
                permission = files === 'prompt' ? 'prompt' : 'granted';
                for (let i = 0; i < clicks; i++) document.querySelector('[data-name=Command1]').click();
                done(); });''', files, clicks)
        check(reported in (report or '') if reported else report is None, f'{files}: {reported} expected, not {report}')
        got = driver.execute_async_script('''const done = arguments[0], count = opened, asked = requested;
            opened = requested = 0;
            navigator.storage.getDirectory().then(root => root.getDirectoryHandle('tuning'))
              .then(folder => folder.getDirectoryHandle('files')).then(files => files.getFileHandle('game_list.txt'))
              .then(file => file.getFile()).then(file => file.text()).then(text => done([text, count, asked]), error => done([error.name, count, asked]));''')
        check(got[0].startswith(written) and got[1:] == [opened, files == 'prompt'], f'{files}: the list (its start), openings, requests: {got[0][:30]!r}, {got[1:]}')
        if reported: driver.keys(Keys.ENTER)
        check(not driver.execute_script('return document.getElementById("report").open'), 'Enter closes it')
    server.shutdown()

def fitting():
    for scale, font in ((1, 16), (1.5, 16), (2, 16), (1, 24)):
        if engine == 'webkit' and (font != 16 or scale % 1): continue  # MiniBrowser: whole scales, the default font
        driver = browser(scale, font)
        open_page(driver)
        clipped = driver.execute_script('''return [...document.querySelectorAll('#form > *')].filter(e => {
            const text = e.matches('.frame') ? e.firstChild : e, box = e.getBoundingClientRect();
            return text.scrollWidth > text.clientWidth || text.scrollHeight > text.clientHeight ||
                text.getBoundingClientRect().right > box.right; }).map(e => e.dataset.name);''')
        check(clipped == [], f'captions clipped at {scale}x, default font {font}: {clipped}')
        sizes = driver.execute_script('return [devicePixelRatio, getComputedStyle(document.documentElement).fontSize, form.style.fontSize]')
        check(sizes == [scale, f'{font}px', '0.625rem'], f'drawn at 10 px at {scale}x, default font {font}: {sizes}')
        left_page(driver)

def left_page(driver):
    urls, errors = driver.problems()
    left = [url[:80] for url in urls if not url.startswith(('file://' + page, 'data:', 'blob:', 'chrome:', 'http://127.0.0.1:'))]
    check(not left, f'requests left the page: {left}')
    check(not errors, f'errors logged: {errors}')
    driver.quit()

if case in ('fitting', 'looks'): globals()[case]()
else: globals()[case](driver := browser()), left_page(driver)
print(f'{case} in {engine}: passed')
