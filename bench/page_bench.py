"""The page's speed in headless Chromium, a measurement, not a test:
    /usr/bin/python3 bench/page_bench.py build-web/web/population-generator.html [ROUNDS]
prints the median time from opening the page (file://) to its being ready,
and the median time of one run with 32767 players in the page (the core in
WebAssembly writing the 1.1 MB list into the module's memory, and the bytes
copied out for saving), to set beside generation_bench's BM_Run32767."""
import shutil, statistics, sys, tempfile, time
from selenium import webdriver
from selenium.webdriver.chrome.service import Service

page, rounds = sys.argv[1], int(sys.argv[2]) if len(sys.argv) > 2 else 15
options = webdriver.ChromeOptions()
for flag in ('--headless --no-sandbox --disable-gpu --disable-quic --no-first-run --disable-background-networking '
             f'--disable-component-update --disable-sync --user-data-dir={tempfile.mkdtemp()}').split():
    options.add_argument(flag)
options.binary_location = shutil.which('chromium')
driver = webdriver.Chrome(service=Service(shutil.which('chromedriver')), options=options)
url = 'file://' + __import__('os').path.abspath(page)
ready = []
for _ in range(rounds):
    driver.get(url)
    while driver.execute_script('return document.documentElement.dataset.ready') != 'true':
        time.sleep(0.01)
    # The page marks "ready" once the form is built and the core can run:
    # its time since the navigation started, on the page's own clock.
    ready.append(driver.execute_script("return performance.getEntriesByName('ready')[0].startTime"))
runs = driver.execute_script('''
    const index = JSON.parse(call('Form', 'string', [], [])).controls.findIndex(c => c.name === 'text3(12)');
    withText('32767', (text) => call('SetField', null, ['number', 'number'], [index, text]));
    const times = [];
    for (let i = 0; i < arguments[0]; ++i) {
        const start = performance.now();
        if (!withText('', (name) => call('Press', 'number', ['number', 'number'], [name, 1]))) return null;
        const pointer = call('ListBytes', 'number', [], []);
        Module.HEAPU8.slice(pointer, pointer + call('ListSize', 'number', [], []));
        times.push(performance.now() - start);
    }
    return times;''', rounds)
driver.quit()
print(f'open to ready: median {statistics.median(ready):.1f} ms over {rounds} openings')
print(f'32767 players: median {statistics.median(runs):.1f} ms over {rounds} runs (min {min(runs):.1f})')
