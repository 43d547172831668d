"""The page in headless Chromium, opened from disk: page_test.py CASE PAGE GOLDEN.
Every case also checks that no request left the page and nothing was logged as an error."""
import functools, shutil, http.server, json, os, sys, tempfile, threading, time
from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.webdriver.common.keys import Keys

case, page, golden = sys.argv[1], os.path.abspath(sys.argv[2]), open(sys.argv[3], 'rb').read()
NAMES = [f'{row}: {column}' for column in ('Min', 'Max') for row in ('Rook', 'Knight', 'Bishop', 'Queen', 'Legal moves')] + [
    'Max depth of black player:', 'Max depth of white player:', 'Number of player in population:',
    'Max number of generation:', 'Time limit for evolution (min):', 'Generate random population']

def browser(scale=1, font=16):
    options = webdriver.ChromeOptions()
    for flag in ('--headless --no-sandbox --disable-gpu --disable-quic --no-first-run --disable-background-networking '
                 f'--disable-component-update --disable-sync --force-device-scale-factor={scale} '
                 f'--user-data-dir={tempfile.mkdtemp()}').split():
        options.add_argument(flag)
    options.binary_location = shutil.which('chromium')
    options.add_experimental_option('prefs', {'webkit.webprefs.default_font_size': font})
    options.set_capability('goog:loggingPrefs', {'browser': 'ALL', 'performance': 'ALL'})
    return webdriver.Chrome(service=Service(shutil.which('chromedriver')), options=options)

def open_page(driver, url='file://' + page):
    driver.get(url)
    for _ in range(200):
        if driver.execute_script('return document.documentElement.dataset.ready') == 'true': return
        time.sleep(0.05)
    raise AssertionError('the page never became ready')

def check(condition, what):
    if not condition: raise AssertionError(what)

def press(driver, folder=None):
    """Presses the button; the list downloaded (None: none), or the report shown."""
    folder = folder or tempfile.mkdtemp()
    driver.execute_cdp_cmd('Browser.setDownloadBehavior', {'behavior': 'allow', 'downloadPath': folder})
    driver.find_element(By.CSS_SELECTOR, '[data-name=Command1]').click()
    for _ in range(100):
        time.sleep(0.05)
        if driver.execute_script('return document.getElementById("report").open'):
            check(not os.listdir(folder), 'nothing downloaded when a press fails')
            return driver.find_element(By.ID, 'report-text').text
        if os.listdir(folder) == ['game_list.txt']: return open(os.path.join(folder, 'game_list.txt'), 'rb').read()

def field(driver, name, text=None):
    element = driver.find_element(By.CSS_SELECTOR, f'[data-name="{name}"]')
    return element.get_attribute('value') if text is None else (element.clear(), element.send_keys(text))

def players(text):  # the values of each player from 2 on
    return [block.split(b'\r\n', 1)[1] for block in text.split(b'\r\n\r\n')[3:-1]]

def downloads(driver):
    open_page(driver)
    check(press(driver) == golden, 'the first press downloads the golden list')
    field(driver, 'text3(12)', '40000')
    report = press(driver)
    check(report and report.startswith('Number out of range') and '"40000"' in report, f'the overflow is reported: {report}')
    check(driver.switch_to.active_element.get_attribute('id') == 'report-ok', 'the report takes the focus')
    driver.switch_to.active_element.send_keys(Keys.ESCAPE)
    check(driver.switch_to.active_element.get_attribute('data-name') == 'Command1', 'the focus goes back to the button')
    check(field(driver, 'text3(12)') == '40000', 'the fields keep their texts')
    field(driver, 'text3(12)', '30')
    second = press(driver)
    check(second[:295] == golden[:295] and second != golden, 'a second press continues the sequence')
    open_page(driver)  # a reload starts the sequence again: 59 players draw both presses' values
    field(driver, 'text3(12)', '59')
    both = players(press(driver))
    check(both[:29] == players(golden) and both[29:] == players(second), 'the second list continues the first')

def keyboard(driver):
    open_page(driver)
    names = []
    for _ in NAMES:  # the focus starts in the rook's Min field
        names.append(driver.switch_to.active_element.accessible_name)
        driver.switch_to.active_element.send_keys(Keys.TAB)
    check(names == NAMES, f'tab order and accessible names: {names}')
    check(driver.find_element(By.ID, 'where').text == "Writes game_list.txt into the browser's downloads", 'where')

def folder(driver):
    # The origin-private folder is not offered to file:// pages, so the same
    # file is served from this process over the loopback interface.
    handler = functools.partial(http.server.SimpleHTTPRequestHandler, directory=os.path.dirname(page))
    server = http.server.ThreadingHTTPServer(('127.0.0.1', 0), handler)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    open_page(driver, f'http://127.0.0.1:{server.server_port}/{os.path.basename(page)}')
    for name, files in (('tuning', True), ('empty', False)):
        driver.execute_async_script('''const [name, files, done] = arguments;
            window.showDirectoryPicker = async () => {
                const folder = await (await navigator.storage.getDirectory()).getDirectoryHandle(name, {create: true});
                if (files) await folder.getDirectoryHandle('files', {create: true});
                return folder; };
            document.getElementById('choose-folder').click(); setTimeout(done, 200);''', name, files)
        check(driver.find_element(By.ID, 'where').text == f'Writes {name}/files/game_list.txt', 'where')
        report = press(driver)
        written = driver.execute_async_script('''const [name, done] = arguments;
            navigator.storage.getDirectory().then(root => root.getDirectoryHandle(name))
              .then(folder => folder.getDirectoryHandle('files')).then(files => files.getFileHandle('game_list.txt'))
              .then(file => file.getFile()).then(file => file.text()).then(done, error => done(error.name));''', name)
        if files:
            check(report is None and written.encode() == golden, 'the list written into files')
        else:
            check(report and f'"{name}/files" does not exist' in report, f'a missing files is reported: {report}')
            check(written == 'NotFoundError', f'files is never created: {written}')
            driver.switch_to.active_element.send_keys(Keys.ENTER)
            check(not driver.execute_script('return document.getElementById("report").open'), 'Enter closes it')
    server.shutdown()

def fitting():
    for scale, font in ((1, 16), (1.5, 16), (2, 16), (1, 24)):
        driver = browser(scale, font)
        open_page(driver)
        clipped = driver.execute_script('''return [...document.querySelectorAll('#form > *')].filter(e => {
            const text = e.matches('.frame') ? e.firstChild : e, box = e.getBoundingClientRect();
            return text.scrollWidth > text.clientWidth || text.scrollHeight > text.clientHeight ||
                text.getBoundingClientRect().right > box.right; }).map(e => e.dataset.name);''')
        check(clipped == [], f'captions clipped at {scale}x, default font {font}: {clipped}')
        left_page(driver)

def left_page(driver):
    requests = [json.loads(entry['message'])['message'] for entry in driver.get_log('performance')]
    urls = {m['params']['request']['url'] for m in requests if m['method'] == 'Network.requestWillBeSent'}
    left = [url[:80] for url in urls if not url.startswith(('file://' + page, 'data:', 'blob:', 'chrome:', 'http://127.0.0.1:'))]
    check(not left, f'requests left the page: {left}')
    errors = [entry['message'] for entry in driver.get_log('browser') if entry['level'] == 'SEVERE']
    check(not errors, f'errors logged: {errors}')
    driver.quit()

if case == 'fitting': fitting()
else: globals()[case](driver := browser()), left_page(driver)
print(f'{case}: passed')
