// Opens a preview page in Debian's chromium (headless, through puppeteer-core) and checks it against the report
// of the same choice: every picture loaded, the sizes and counts on the page equal report --json's, the pairs side
// by side. Keeps a screenshot. Prints one PASS or FAIL line per check; exits 1 when one failed.
// usage: node check-page.js PAGE.html REPORT.json SCREENSHOT.png
'use strict';
const fs = require('fs');
const os = require('os');
const path = require('path');
const puppeteer = require('puppeteer-core');

const [pagePath, reportPath, shotPath] = process.argv.slice(2);
let failed = 0;
function check(ok, what) {
    console.log(`${ok ? 'PASS' : 'FAIL'} ${what}`);
    if (!ok) failed++;
}

(async () => {
    const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'pellmor-chromium-'));
    // Without these the browser reaches for the network, which the closed network refuses.
    const browser = await puppeteer.launch({
        executablePath: '/usr/bin/chromium',
        headless: true,
        args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
               '--disable-background-networking', '--disable-component-update', '--disable-sync',
               `--user-data-dir=${profile}`],
    });
    try {
        const page = await browser.newPage();
        await page.setViewport({width: 1280, height: 1700});
        const requests = [];
        page.on('request', (r) => requests.push(r.url()));
        await page.goto('file://' + path.resolve(pagePath), {waitUntil: 'load'});
        const seen = await page.evaluate(() => {
            const data = (e) => Object.fromEntries(Object.entries(e.dataset).map(([k, v]) => [k, Number(v)]));
            const images = [...document.images];
            const pairs = [...document.querySelectorAll('.pair')].map((p) => {
                const [a, b] = p.querySelectorAll('img');
                return a && b ? [a.getBoundingClientRect(), b.getBoundingClientRect()] : null;
            });
            return {
                images: images.length,
                loaded: images.filter((i) => i.complete && i.naturalWidth > 0).length,
                archives: [...document.querySelectorAll('tr.archive')].map(data),
                counts: data(document.getElementById('counts')),
                bars: document.querySelectorAll('svg.chart rect').length,
                pairs: pairs.filter(Boolean).map(([a, b]) => ({
                    sideBySide: Math.abs(a.top - b.top) < 1 && a.right <= b.left,
                    sameSize: Math.abs(a.width - b.width) < 1 && Math.abs(a.height - b.height) < 1,
                })),
            };
        });
        const report = JSON.parse(fs.readFileSync(reportPath, 'utf8'));
        check(seen.images > 0 && seen.loaded === seen.images, `every picture loaded (${seen.loaded} of ${seen.images})`);
        check(requests.every((u) => u.startsWith('file:')), 'nothing asked of the network');
        check(seen.archives.length === 1 && seen.archives[0].bytes === report.bytes &&
              seen.archives[0].estimatedBytes === report.estimatedBytes,
              `sizes as report --json: ${JSON.stringify(seen.archives)}`);
        const t = report.textures;
        check(seen.counts.total === t.total && seen.counts.change === t.change && seen.counts.skip === t.skip &&
              seen.counts.stay === t.stay, `texture counts as report --json: ${JSON.stringify(seen.counts)}`);
        check(seen.bars === 7, `a bar for today and each of the six choices (${seen.bars})`);
        check(seen.pairs.length > 0 && seen.pairs.every((p) => p.sideBySide && p.sameSize),
              `before and after side by side at the same size (${seen.pairs.length} pairs)`);
        await page.screenshot({path: shotPath});
        check(fs.statSync(shotPath).size > 0, `screenshot ${shotPath}`);
    } finally {
        await browser.close();
        fs.rmSync(profile, {recursive: true, force: true});
    }
    process.exit(failed ? 1 : 0);
})().catch((e) => {
    console.log(`FAIL ${e.message}`);
    process.exit(1);
});
