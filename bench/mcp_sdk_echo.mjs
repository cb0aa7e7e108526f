// The official TypeScript SDK client doing what bench_mcp measures of ours: echo calls to
// server-everything over stdio, one at a time. Prints {"median": ms, "p95": ms}.
//   node mcp_sdk_echo.mjs NODE_MODULES SERVER_SCRIPT COUNT
import { pathToFileURL } from 'node:url';

const [modules, server, count] = [process.argv[2], process.argv[3], Number(process.argv[4])];
const sdk = (file) => pathToFileURL(`${modules}/@modelcontextprotocol/sdk/dist/esm/client/${file}`).href;
const { Client } = await import(sdk('index.js'));
const { StdioClientTransport } = await import(sdk('stdio.js'));

const client = new Client({ name: 'bench', version: '1.0.0' });
await client.connect(new StdioClientTransport({ command: process.execPath, args: [server, 'stdio'] }));
for (let i = 0; i < 50; ++i)
    await client.callTool({ name: 'echo', arguments: { message: 'warm-up' } });
const times = [];
for (let i = 0; i < count; ++i) {
    const start = process.hrtime.bigint();
    await client.callTool({ name: 'echo', arguments: { message: `call ${i}` } });
    times.push(Number(process.hrtime.bigint() - start) / 1e6);
}
times.sort((a, b) => a - b);
console.log(JSON.stringify({ median: times[Math.floor(count / 2)], p95: times[Math.floor(count * 0.95)] }));
await client.close();
